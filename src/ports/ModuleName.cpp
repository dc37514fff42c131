#include "ModuleName.h"

#include "ComName.h"
#include "DeviceMap.h"
#include "PortIdentity.h"
#include "PortNamesFile.h"

#include <cctype>

namespace {

bool NamedInFile(unsigned port) {
    for (const NamedPort& named : ReadPortNames(ReadLocalDeviceMap()).names) {
        if (named.port == port) {
            return true;
        }
    }
    return false;
}

// "FT232R_USB_UART-A10K1234": the adapter's model (else its maker) and serial.
std::string AdapterName(unsigned port) {
    const std::string device = ResolveComDevice(port);
    if (device.empty()) {
        return {};
    }
    const PortIdentity identity = IdentifyPort(device);
    if (identity.serial.empty()) {
        return {};
    }
    const std::string& adapter = identity.model.empty() ? identity.vendor : identity.model;
    return adapter.empty() ? identity.serial : adapter + "-" + identity.serial;
}

} // namespace

std::string FileNameSafe(const std::string& text) {
    std::string name = text;
    if (const size_t scheme = name.find("://"); scheme != std::string::npos) {
        name.erase(0, scheme + 3);
    }
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) == 0 && c != '.' && c != '_' && c != '-') {
            c = '-';
        }
    }
    return name;
}

std::string ModuleName(const std::string& portName, unsigned port) {
    if (port != 0 && portName == ComName(port) && NamedInFile(port)) {
        return portName;
    }
    if (!IsNetworkTarget(portName)) {
        if (std::string adapter = AdapterName(port); !adapter.empty()) {
            return FileNameSafe(adapter);
        }
    }
    return FileNameSafe(portName);
}
