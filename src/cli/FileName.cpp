#include "FileName.h"

#include "DeviceMap.h"
#include "PortDirectory.h"
#include "PortIdentity.h"

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
}

} // namespace

RunClock ReadRunClock(std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    char date[16];
    char time[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    std::strftime(time, sizeof time, "%H%M%S", &local);
    return {date, time};
}

std::string FileNameFor(const std::string& pattern, const std::string& comName,
                        const std::string& serial, const RunClock& clock) {
    std::string path = pattern;
    // A network port's address (rfc2217://host:7001) holds characters a
    // file name cannot: host-7001.
    std::string name = comName;
    if (const size_t scheme = name.find("://"); scheme != std::string::npos) {
        name.erase(0, scheme + 3);
    }
    for (char& c : name) {
        if (c == '/' || c == ':' || c == '[' || c == ']') {
            c = '-';
        }
    }
    ReplaceAll(path, "{port}", name);
    ReplaceAll(path, "{serial}", serial.empty() ? name : serial);
    ReplaceAll(path, "{date}", clock.date);
    ReplaceAll(path, "{time}", clock.time);
    return path;
}

std::string AdapterSerial(uint8_t port) {
    const std::string device = ResolveComDevice(port);
    return device.empty() ? std::string() : IdentifyPort(device).serial;
}
