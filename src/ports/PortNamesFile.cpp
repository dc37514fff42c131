#include "PortNamesFile.h"

#include "ComName.h"
#include "NetworkTarget.h"
#include "PortList.h"
#include "SerialDevice.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <sys/stat.h>

namespace {

// What a network target starts with, in any case; the rest is the network
// driver's to read.
constexpr std::string_view NETWORK_SCHEME = "rfc2217:";
// A names file is a few dozen lines; a file far beyond that is not one.
constexpr std::streamsize MAX_FILE_BYTES = std::streamsize{256} * 1024;

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Empty when the target can be used, else why not. A network target is
// read by the network driver's own parser, so that what this file lists is
// exactly what opens.
std::string TargetFault(const std::string& target) {
    if (target.empty()) {
        return "no target after '='";
    }
    if (IsNetworkTarget(target)) {
        return ParseNetworkTarget(target) ? std::string()
                                          : "\"" + target + "\" is not rfc2217://HOST:PORT";
    }
    if (target.front() != '/') {
        return "\"" + target + "\" is neither a device path (/dev/...) nor rfc2217://HOST:PORT";
    }
    return {};
}

} // namespace

std::string PortNamesFaultText(const PortNamesFault& fault) {
    if (fault.line == 0) {
        return "ports.conf: " + fault.reason;
    }
    return "ports.conf line " + std::to_string(fault.line) + ": " + fault.reason;
}

bool IsNetworkTarget(const std::string& target) {
    return target.size() >= NETWORK_SCHEME.size() &&
           std::equal(
               NETWORK_SCHEME.begin(), NETWORK_SCHEME.end(), target.begin(),
               [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

PortNames ParsePortNames(const std::vector<std::string>& lines,
                         const std::vector<DeviceMapEntry>& local) {
    PortNames result;
    std::map<unsigned, size_t> named;
    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t number = i + 1;
        std::string_view line = lines[i];
        if (const size_t hash = line.find('#'); hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        line = Trimmed(line);
        if (line.empty()) {
            continue;
        }
        auto refuse = [&](std::string reason) {
            result.faults.push_back({number, std::move(reason)});
        };
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            refuse("expected COMn = TARGET");
            continue;
        }
        const std::string name(Trimmed(line.substr(0, equals)));
        const std::string target(Trimmed(line.substr(equals + 1)));
        const std::optional<uint8_t> port = ParseComNumber(name);
        if (!port) {
            refuse("\"" + name + "\" is not a COM name (COM1 to COM255)");
            continue;
        }
        if (ComName(*port).size() > PORT_LIST_NAME_CHARS) {
            refuse("\"" + name + "\" is longer than the port list can show (COM1 to COM99)");
            continue;
        }
        if (std::string fault = TargetFault(target); !fault.empty()) {
            refuse(std::move(fault));
            continue;
        }
        if (const auto before = named.find(*port); before != named.end()) {
            refuse(ComName(*port) + " is named on line " + std::to_string(before->second) +
                   " already");
            continue;
        }
        bool taken = false;
        for (const DeviceMapEntry& entry : local) {
            if (entry.comName == ComName(*port)) {
                refuse(ComName(*port) + " is taken by a port of this machine: " + entry.devicePath);
                taken = true;
                break;
            }
        }
        if (taken) {
            continue;
        }
        named.emplace(*port, number);
        result.names.push_back({*port, target, number});
    }
    return result;
}

std::string PortNamesPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/lumaret/ports.conf";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/lumaret/ports.conf";
}

PortNames ReadPortNames(const std::vector<DeviceMapEntry>& local) {
    const std::string path = PortNamesPath();
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 && errno == ENOENT) {
        return {};
    }
    PortNames refused;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MAX_FILE_BYTES) {
        refused.faults.push_back({0, path + " is not a readable file of names"});
        return refused;
    }
    std::ifstream in(path);
    if (!in) {
        refused.faults.push_back({0, path + " cannot be read"});
        return refused;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return ParsePortNames(lines, local);
}

namespace {

// The loans of this process: COM number to network target.
std::mutex g_loansMutex;
std::map<unsigned, std::string> g_loans;

} // namespace

unsigned NameForNetworkTarget(const std::string& target) {
    const std::vector<DeviceMapEntry> local = ReadLocalDeviceMap();
    const PortNames names = ReadPortNames(local);
    for (const NamedPort& named : names.names) {
        if (named.target == target) {
            return named.port;
        }
    }
    std::lock_guard lock(g_loansMutex);
    for (const auto& [port, loaned] : g_loans) {
        if (loaned == target) {
            return port;
        }
    }
    for (unsigned port = 255; port >= 1; --port) {
        const std::string name = ComName(port);
        const auto usedBy = [&](const auto& list) {
            for (const auto& entry : list) {
                if (entry.comName == name) {
                    return true;
                }
            }
            return false;
        };
        bool named = false;
        for (const NamedPort& n : names.names) {
            named = named || n.port == port;
        }
        if (!named && g_loans.count(port) == 0 && !usedBy(local)) {
            g_loans.emplace(port, target);
            return port;
        }
    }
    return 0;
}

std::vector<DeviceMapEntry> NamedDeviceMap(const std::vector<DeviceMapEntry>& local) {
    std::vector<DeviceMapEntry> map;
    for (const NamedPort& named : ReadPortNames(local).names) {
        if (IsNetworkTarget(named.target) || IsSerialDevice(named.target)) {
            map.push_back({named.target, ComName(named.port)});
        }
    }
    std::lock_guard lock(g_loansMutex);
    for (const auto& [port, target] : g_loans) {
        map.push_back({target, ComName(port)});
    }
    return map;
}
