#include "PortChoice.h"

#include "PortDirectory.h"
#include "PortIdentity.h"
#include "PortList.h"
#include "PortRegistry.h"

#include <algorithm>

namespace {

bool StartsWith(const std::string& text, const std::string& head) {
    return text.rfind(head, 0) == 0;
}

// A module can sit behind it: a published port, or a USB adapter (udev knows
// who made it, or the kernel named it as one).
bool ModulePort(const PortListItem& item, const std::string& portDirectory) {
    if (StartsWith(item.devicePath, portDirectory + "/")) {
        return true;
    }
    const std::string device = DeviceBehind(item.devicePath);
    return StartsWith(device, "/dev/ttyUSB") || StartsWith(device, "/dev/ttyACM") ||
           !IdentifyPort(device).Empty();
}

} // namespace

std::vector<std::string> AllModulePorts() {
    CDeviceMapRegistry registry;
    const std::string portDirectory = PortDirectoryPath();
    std::vector<std::string> ports;
    for (const PortListItem& item : WalkPortList(registry).items) {
        if (ModulePort(item, portDirectory)) {
            ports.push_back(item.comName);
        }
    }
    // COM9 before COM10.
    std::stable_sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return ports;
}

std::vector<std::string> ExpandAll(const std::vector<std::string>& names) {
    std::vector<std::string> expanded;
    for (const std::string& name : names) {
        if (name == "all") {
            const std::vector<std::string> all = AllModulePorts();
            expanded.insert(expanded.end(), all.begin(), all.end());
        } else {
            expanded.push_back(name);
        }
    }
    return expanded;
}
