#include "SerialDevice.h"

#include "PortIdentity.h"
#include "UucpLock.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <vector>

namespace {

// The names /proc/devices gives the character-device drivers of a major
// number; several drivers may share one (4: the consoles and ttyS). False
// when /proc/devices cannot be read.
bool CharDriverNames(unsigned major, std::vector<std::string>& names) {
    std::ifstream in("/proc/devices");
    if (!in) {
        return false;
    }
    std::string line;
    bool inCharSection = false;
    while (std::getline(in, line)) {
        if (line.empty() || line.back() == ':') {
            inCharSection = line == "Character devices:";
            continue;
        }
        unsigned number = 0;
        std::string name;
        std::istringstream fields(line);
        if (inCharSection && (fields >> number >> name) && number == major) {
            names.push_back(name);
        }
    }
    return true;
}

// The drivers of terminal lines name themselves tty... (ttyS, ttyUSB,
// ttyACM, ttyAMA, tty for the consoles), the pseudo-terminal slaves pts.
// /dev/tty, /dev/console and /dev/ptmx are listed by their paths.
bool IsTerminalDriver(const std::string& name) {
    return name == "pts" || name.rfind("tty", 0) == 0;
}

// The holder of a flock on the file st describes, from /proc/locks.
pid_t FlockHolder(const struct stat& st) {
    // "1: FLOCK  ADVISORY  WRITE 4242 00:1a:3 0 EOF": the file system's
    // major and minor in hex, the inode in decimal. Waiting locks ("->")
    // are not held yet and have a field more before the kind.
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%lu", ::major(st.st_dev), ::minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    std::ifstream in("/proc/locks");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if ((fields >> number >> kind >> mode >> access >> pid >> where) && kind == "FLOCK" &&
            where == file) {
            return static_cast<pid_t>(pid);
        }
    }
    return 0;
}

} // namespace

bool IsSerialDevice(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        return false;
    }
    std::vector<std::string> names;
    if (!CharDriverNames(::major(st.st_rdev), names)) {
        return true; // no /proc to ask: any character device may be one
    }
    for (const std::string& name : names) {
        if (IsTerminalDriver(name)) {
            return true;
        }
    }
    return false;
}

pid_t LockHolder(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return 0;
    }
    if (const pid_t holder = FlockHolder(st)) {
        return holder;
    }
    return UucpLockHolder(path).pid;
}
