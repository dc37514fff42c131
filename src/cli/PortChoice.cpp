#include "PortChoice.h"

#include "PortCatalog.h"
#include "PortIdentity.h"
#include "PortNamesFile.h"

#include <algorithm>
#include <cctype>
#include <set>

std::vector<std::string> AllModulePorts() {
    std::vector<std::string> ports;
    std::set<std::string> devices; // a device under two names is one module
    for (const PortEntry& entry : ListPortEntries()) {
        if ((entry.kind == PortKind::UsbAdapter || entry.kind == PortKind::PublishedModule) &&
            devices.insert(entry.device).second) {
            ports.push_back(entry.comName);
        }
    }
    // A name in ports.conf stands for a module whatever its device is, and a
    // module on the network has no other; taken from the names file itself,
    // since the port list keeps only names of up to five characters.
    std::vector<DeviceMapEntry> named = NamedDeviceMap(ReadLocalDeviceMap());
    std::stable_sort(named.begin(), named.end(), [](const auto& a, const auto& b) {
        return ComNameLess(a.comName, b.comName);
    });
    for (const DeviceMapEntry& entry : named) {
        const std::string device =
            IsNetworkTarget(entry.devicePath) ? entry.devicePath : DeviceBehind(entry.devicePath);
        if (devices.insert(device).second) {
            ports.push_back(entry.comName);
        }
    }
    return ports;
}

bool IsAllPorts(const std::string& name) {
    return name.size() == 3 && std::tolower(static_cast<unsigned char>(name[0])) == 'a' &&
           std::tolower(static_cast<unsigned char>(name[1])) == 'l' &&
           std::tolower(static_cast<unsigned char>(name[2])) == 'l';
}

std::vector<std::string> ExpandAll(const std::vector<std::string>& names) {
    std::vector<std::string> expanded;
    for (const std::string& name : names) {
        if (IsAllPorts(name)) {
            const std::vector<std::string> all = AllModulePorts();
            expanded.insert(expanded.end(), all.begin(), all.end());
        } else {
            expanded.push_back(name);
        }
    }
    return expanded;
}
