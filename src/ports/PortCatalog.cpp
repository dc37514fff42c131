#include "PortCatalog.h"

#include "PortNamesFile.h"

#include "PortDirectory.h"
#include "PortRegistry.h"
#include "SerialDevice.h"

#include <algorithm>

namespace {

char Fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The run of digits at text[at] without its leading zeros; at moves past it.
std::string_view NumberAt(std::string_view text, size_t& at) {
    while (at < text.size() && text[at] == '0') {
        ++at;
    }
    const size_t start = at;
    while (at < text.size() && IsDigit(text[at])) {
        ++at;
    }
    return text.substr(start, at - start);
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string LastName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The publisher's link when devicePath is one in the port directory.
bool InPortDirectory(const std::string& devicePath) {
    const size_t slash = devicePath.rfind('/');
    return slash != std::string::npos && devicePath.substr(0, slash) == PortDirectoryPath();
}

void Describe(PortEntry& e) {
    const std::string name = LastName(e.device);
    const Publisher publisher =
        InPortDirectory(e.devicePath) ? PublisherOf(e.devicePath) : Publisher{};
    if (publisher.live) {
        e.kind = PortKind::PublishedModule;
        e.publisher = publisher.pid;
        e.description = "simulated module";
        if (publisher.pid != 0) {
            e.description += ", process " + std::to_string(publisher.pid);
        }
        return;
    }
    if (StartsWith(e.device, "/dev/pts/")) {
        e.kind = PortKind::PseudoTerminal;
        e.description = "pseudo-terminal " + e.device;
        return;
    }
    const PortIdentity& id = e.identity;
    if (!id.vendor.empty() || !id.model.empty() || StartsWith(name, "ttyUSB") ||
        StartsWith(name, "ttyACM")) {
        e.kind = PortKind::UsbAdapter;
        PortIdentity shown = id;
        shown.byId.clear(); // a list names the link apart
        e.description = DescribeIdentity(shown);
        if (id.vendor.empty() && id.model.empty()) {
            e.description = "USB adapter " + name + (id.serial.empty() ? "" : ", " + e.description);
        }
        return;
    }
    e.kind = PortKind::BuiltInUart;
    e.description = "built-in UART " + name;
}

} // namespace

bool ComNameLess(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::string_view x = NumberAt(a, i), y = NumberAt(b, j);
            if (x.size() != y.size()) {
                return x.size() < y.size();
            }
            if (x != y) {
                return x < y;
            }
            continue;
        }
        if (Fold(a[i]) != Fold(b[j])) {
            return Fold(a[i]) < Fold(b[j]);
        }
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<PortEntry> CatalogEntries(const std::vector<PortListItem>& items) {
    std::vector<PortEntry> entries;
    for (const PortListItem& item : items) {
        if (IsNetworkTarget(item.devicePath)) {
            // A module a server offers: nothing here to identify or lock.
            PortEntry e;
            e.comName = item.comName;
            e.devicePath = item.devicePath;
            e.device = item.devicePath;
            e.kind = PortKind::NetworkPort;
            e.description = "network port (RFC 2217)";
            entries.push_back(std::move(e));
            continue;
        }
        if (!IsSerialDevice(item.devicePath)) {
            continue;
        }
        PortEntry e;
        e.comName = item.comName;
        e.devicePath = item.devicePath;
        e.device = DeviceBehind(item.devicePath);
        e.identity = IdentifyPort(e.device);
        e.serial = e.identity.serial;
        Describe(e);
        e.holder = LockHolder(e.device);
        e.inUse = e.holder != 0;
        entries.push_back(std::move(e));
    }
    std::stable_sort(entries.begin(), entries.end(), [](const PortEntry& a, const PortEntry& b) {
        return ComNameLess(a.comName, b.comName);
    });
    return entries;
}

std::vector<PortEntry> ListPortEntries() {
    CDeviceMapRegistry registry;
    return CatalogEntries(WalkPortList(registry).items);
}
