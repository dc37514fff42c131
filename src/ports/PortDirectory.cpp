#include "PortDirectory.h"

#include "ComName.h"
#include "PrivateFolder.h"
#include "SerialDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// A link is live while its target is a serial device and, when a lock file
// sits beside it, some publisher still holds that lock.
bool IsLiveLink(const std::string& linkPath) {
    if (!IsSerialDevice(linkPath)) {
        return false;
    }
    const Publisher publisher = PublisherOf(linkPath);
    return publisher.live || !publisher.lockFile;
}

// An 8250 port without hardware reports type 0 ("unknown") in sysfs.
bool IsPresentUart(unsigned index) {
    char path[64];
    std::snprintf(path, sizeof path, "/sys/class/tty/ttyS%u/type", index);
    std::ifstream in(path);
    int type = 0;
    return in && (in >> type) && type != 0;
}

void SetReason(std::string* reason, std::string text) {
    if (reason != nullptr) {
        *reason = std::move(text);
    }
}

// Opens the port directory, checking its last two levels (ours) from the
// folder above them down, so that no level is reached through a link. The
// folder above (the runtime directory or /tmp) is the system's and is only
// made when missing.
int OpenPortDirectory(const std::string& dir, bool create, std::string* reason) {
    return OpenPrivateFolder(dir, 2, create, "ports", reason);
}

} // namespace

std::string PortDirectoryPath() {
    return LumaretRuntimePath() + "/ports";
}

bool EnsurePortDirectory(const std::string& dir, std::string* reason) {
    const int fd = OpenPortDirectory(dir, true, reason);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

Publisher PublisherOf(const std::string& linkPath) {
    Publisher publisher;
    const std::string lockPath = linkPath + ".lock";
    const int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        publisher.lockFile = errno != ENOENT;
        return publisher;
    }
    publisher.lockFile = true;
    publisher.live = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    char text[24] = {};
    const ssize_t n = publisher.live ? read(fd, text, sizeof text - 1) : 0;
    close(fd); // drops the trial lock, had it been taken
    if (n > 0) {
        char* end = nullptr;
        const long pid = std::strtol(text, &end, 10);
        publisher.pid = pid > 0 && *end == '\n' ? static_cast<pid_t>(pid) : 0;
    }
    return publisher;
}

std::vector<DeviceMapEntry> ReadLocalDeviceMap() {
    std::vector<DeviceMapEntry> map;
    std::vector<unsigned> taken;

    const std::string dir = PortDirectoryPath();
    if (const int fd = OpenPortDirectory(dir, false, nullptr); fd >= 0) {
        if (DIR* d = fdopendir(fd)) {
            std::vector<std::pair<unsigned, std::string>> links;
            const std::string prefix = dir + "/";
            while (const dirent* e = readdir(d)) {
                const std::string name = e->d_name;
                const unsigned n = ParseComNumber(name).value_or(0);
                if (n == 0) {
                    continue;
                }
                const std::string path = prefix + name;
                struct stat st {};
                if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                    !S_ISLNK(st.st_mode)) {
                    continue;
                }
                if (IsLiveLink(path)) {
                    links.emplace_back(n, path);
                }
            }
            closedir(d);
            std::sort(links.begin(), links.end());
            for (const auto& [n, path] : links) {
                map.push_back({path, ComName(n)});
                taken.push_back(n);
            }
        } else {
            close(fd);
        }
    }

    struct Family {
        const char* prefix;
        unsigned firstCom;
    };
    static constexpr Family FAMILIES[] = {
        {"/dev/ttyS", 1}, {"/dev/ttyUSB", 33}, {"/dev/ttyACM", 65}};
    for (const Family& f : FAMILIES) {
        for (unsigned i = 0; i < 32; ++i) {
            const unsigned n = f.firstCom + i;
            if (std::find(taken.begin(), taken.end(), n) != taken.end()) {
                continue;
            }
            const std::string path = f.prefix + std::to_string(i);
            if (!IsSerialDevice(path)) {
                continue;
            }
            if (f.firstCom == 1 && !IsPresentUart(i)) {
                continue;
            }
            map.push_back({path, ComName(n)});
        }
    }
    return map;
}

PortPublication::~PortPublication() {
    Withdraw();
}

bool PortPublication::Publish(const std::string& givenName, const std::string& devicePath,
                              std::string* reason) {
    Withdraw();
    const auto number = ParseComNumber(givenName);
    if (!number) {
        SetReason(reason, "'" + givenName + "' is not a name COM1 to COM255");
        return false;
    }
    // One spelling, so that com7 and COM7 share the link and its lock.
    const std::string comName = ComName(*number);
    const std::string dir = PortDirectoryPath();
    const int dirFd = OpenPortDirectory(dir, true, reason);
    if (dirFd < 0) {
        return false;
    }

    // Made relative to the checked directory, so that nothing reaches them through a swapped path.
    const std::string lockName = comName + ".lock";
    const int fd = openat(dirFd, lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        SetReason(reason, "cannot open " + dir + "/" + lockName + ": " + std::strerror(errno));
        close(dirFd);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        SetReason(reason, comName + " is in use by another program (it holds " + dir + "/" +
                              lockName + ")");
        close(fd);
        close(dirFd);
        return false;
    }
    // Who publishes, for the port list. The port works without it: a reader
    // that finds no whole line knows no process, nothing more.
    const std::string pid = std::to_string(getpid()) + "\n";
    [[maybe_unused]] const bool recorded =
        ftruncate(fd, 0) == 0 && write(fd, pid.data(), pid.size()) == ssize_t(pid.size());
    // Whatever link is there is stale now that we hold the lock.
    unlinkat(dirFd, comName.c_str(), 0);
    if (symlinkat(devicePath.c_str(), dirFd, comName.c_str()) != 0) {
        SetReason(reason,
                  "cannot make the link " + dir + "/" + comName + ": " + std::strerror(errno));
        close(fd);
        close(dirFd);
        return false;
    }
    close(dirFd);
    m_lockFd = fd;
    m_linkPath = dir + "/" + comName;
    m_lockPath = dir + "/" + lockName;
    return true;
}

void PortPublication::Withdraw() {
    if (m_lockFd < 0) {
        return;
    }
    unlink(m_linkPath.c_str());
    unlink(m_lockPath.c_str());
    close(m_lockFd);
    m_lockFd = -1;
    m_linkPath.clear();
    m_lockPath.clear();
}
