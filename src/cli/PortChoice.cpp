#include "PortChoice.h"

#include "PortCatalog.h"

#include <cctype>

std::vector<std::string> AllModulePorts() {
    std::vector<std::string> ports;
    for (const PortEntry& entry : ListPortEntries()) {
        if (entry.kind == PortKind::UsbAdapter || entry.kind == PortKind::PublishedModule) {
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
