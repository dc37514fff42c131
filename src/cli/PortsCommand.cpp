// The ports command: the port catalog as aligned lines or as JSON.

#include "Commands.h"

#include "PortCatalog.h"
#include "PortRegistry.h"

#include <algorithm>

namespace {

const char* KindName(PortKind kind) {
    switch (kind) {
    case PortKind::UsbAdapter:
        return "usb";
    case PortKind::BuiltInUart:
        return "uart";
    case PortKind::PublishedModule:
        return "simulated";
    case PortKind::PseudoTerminal:
        return "pty";
    case PortKind::NetworkPort:
        return "network";
    }
    return "";
}

std::string Padded(std::string text, size_t width) {
    text.resize(std::max(width, text.size()), ' ');
    return text;
}

} // namespace

// "COM3   /dev/ttyUSB0  in use  FTDI FT232R USB UART, serial A12345": the
// name first, so that scripts and the shell completion take the first word.
void RunPorts(CPortReport& report) {
    CDeviceMapRegistry registry;
    const PortListWalk walk = WalkPortList(registry);
    for (std::string message : walk.messages) {
        while (!message.empty() && message.back() == '\n') {
            message.pop_back();
        }
        report.error += (report.error.empty() ? "" : "\n") + message;
    }
    const std::vector<PortEntry> entries = CatalogEntries(walk.items);
    size_t nameWidth = 0, deviceWidth = 0;
    for (const PortEntry& e : entries) {
        nameWidth = std::max(nameWidth, e.comName.size());
        deviceWidth = std::max(deviceWidth, e.device.size());
    }
    Json ports = Json::array();
    for (const PortEntry& e : entries) {
        std::string line = Padded(e.comName, nameWidth) + "  " + Padded(e.device, deviceWidth) +
                           "  " + Padded(e.inUse ? "in use" : "", 6) + "  " + e.description;
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        report.Say(line);
        ports.push_back({{"port", e.comName},
                         {"path", e.devicePath},
                         {"device", e.device},
                         {"kind", KindName(e.kind)},
                         {"description", e.description},
                         {"vendor", e.identity.vendor},
                         {"model", e.identity.model},
                         {"serial", e.serial},
                         {"by_id", e.identity.byId},
                         {"in_use", e.inUse}});
    }
    report.fields["ports"] = std::move(ports);
}
