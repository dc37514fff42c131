#include "PortChoice.h"

#include "PortCatalog.h"

std::vector<std::string> AllModulePorts() {
    std::vector<std::string> ports;
    for (const PortEntry& entry : ListPortEntries()) {
        if (entry.kind == PortKind::UsbAdapter || entry.kind == PortKind::PublishedModule) {
            ports.push_back(entry.comName);
        }
    }
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
