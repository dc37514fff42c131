#include "PortAccess.h"

#include "ComName.h"
#include "DeviceMap.h"
#include "NetworkTarget.h"
#include "PortDirectory.h"
#include "PortIdentity.h"
#include "PortNamesFile.h"
#include "SerialDevice.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string CanonicalPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        return {};
    }
    return resolved;
}

std::string GroupName(gid_t gid) {
    if (const group* g = getgrgid(gid)) {
        return g->gr_name;
    }
    return std::to_string(gid);
}

std::string PermissionText(const std::string& device) {
    struct stat st {};
    std::string group = "dialout";
    if (stat(device.c_str(), &st) == 0) {
        group = GroupName(st.st_gid);
    }
    return "permission denied on " + device + ": the user needs read and write access; add it " +
           "to the group '" + group + "' (sudo usermod -aG " + group + " $USER) and log in again";
}

} // namespace

PortLookup LookUpPort(const std::string& name) {
    PortLookup lookup;
    if (const auto n = ParseComNumber(name)) {
        lookup.port = *n;
        return lookup;
    }
    if (IsNetworkTarget(name)) {
        if (!ParseNetworkTarget(name)) {
            lookup.problem = PortProblem::NotAPortName;
            lookup.text = "'" + name + "' is not rfc2217://HOST:PORT";
            return lookup;
        }
        lookup.port = static_cast<uint8_t>(NameForNetworkTarget(name));
        if (lookup.port == 0) {
            lookup.problem = PortProblem::NotListed;
            lookup.text = name + ": no COM name is free for it";
        }
        return lookup;
    }
    // A device path is absolute: nothing is looked up in the working directory.
    if (name.empty() || name.front() != '/') {
        lookup.problem = PortProblem::NotAPortName;
        lookup.text = "'" + name + "' is neither a COM name (such as COM9) nor a device path";
        return lookup;
    }
    const std::string wanted = CanonicalPath(name);
    if (wanted.empty()) {
        lookup.problem = PortProblem::Missing;
        lookup.text = name + ": " + std::strerror(errno);
        return lookup;
    }
    for (const DeviceMapEntry& e : ReadDeviceMap()) {
        if (e.devicePath == name || CanonicalPath(e.devicePath) == wanted) {
            lookup.port = ParseComNumber(e.comName).value_or(0);
            return lookup;
        }
    }
    if (!IsSerialDevice(wanted)) {
        lookup.problem = PortProblem::NotATerminal;
        lookup.text = name + (wanted != name ? " leads to " + wanted + ", which" : "") +
                      " is not a serial device";
        return lookup;
    }
    lookup.problem = PortProblem::NotListed;
    lookup.text = name +
                  " has no COM name; give it one with a link in the port directory, e.g. ln -s " +
                  name + " " + PortDirectoryPath() + "/COM20";
    return lookup;
}

PortDiagnosis DiagnosePort(uint8_t port) {
    PortDiagnosis d;
    const std::string name = ComName(port);
    d.device = ResolveComDevice(port);
    if (d.device.empty()) {
        d.problem = PortProblem::NotListed;
        const std::string link = PortDirectoryPath() + "/" + name;
        char target[PATH_MAX];
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0) {
            target[n] = '\0';
            struct stat st {};
            if (stat(link.c_str(), &st) != 0) {
                d.problem = PortProblem::Missing;
                d.text = "no such port: " + link + " points to " + target + ", which is missing";
            } else if (!IsSerialDevice(link)) {
                d.problem = PortProblem::NotATerminal;
                d.text =
                    name + " leads to " + DeviceBehind(link) + ", which is not a serial device";
            } else {
                d.text = "no such port: the program that published " + link + " has gone";
            }
        } else {
            d.text = "no such port: neither a link in " + PortDirectoryPath() +
                     " nor a present serial device has that name";
        }
        return d;
    }
    struct stat st {};
    if (stat(d.device.c_str(), &st) != 0) {
        d.problem = PortProblem::Missing;
        d.text = d.device + " is missing";
        return d;
    }
    if (access(d.device.c_str(), R_OK | W_OK) != 0) {
        d.problem = PortProblem::PermissionDenied;
        d.text = PermissionText(d.device);
        return d;
    }
    const int fd = open(d.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            d.problem = PortProblem::PermissionDenied;
            d.text = PermissionText(d.device);
        } else if (error == EBUSY) {
            d.problem = PortProblem::Busy;
            d.text = d.device + " is busy: another program has it open exclusively";
        } else if (error == ENOENT || error == ENXIO || error == ENODEV) {
            d.problem = PortProblem::Missing;
            d.text = d.device + " is missing: " + std::strerror(error);
        } else {
            d.problem = PortProblem::Other;
            d.text = d.device + ": " + std::strerror(error);
        }
        return d;
    }
    if (!isatty(fd)) {
        d.problem = PortProblem::NotATerminal;
        d.text = d.device + " is not a serial line";
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        const pid_t holder = LockHolder(d.device);
        const std::string who =
            holder != 0 ? "process " + std::to_string(holder) : std::string("another program");
        d.problem = error == EWOULDBLOCK ? PortProblem::Busy : PortProblem::Other;
        d.text = error == EWOULDBLOCK ? d.device + " is busy: " + who +
                                            " holds it (Lumaret, lumaret-cli or a terminal program)"
                                      : d.device + ": " + std::strerror(error);
    }
    close(fd); // drops the trial lock as well
    return d;
}
