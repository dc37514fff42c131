#include "PortDirectory.h"

#include "ComName.h"
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

// The folder holding a path and its last name; trailing slashes are ignored.
std::pair<std::string, std::string> SplitLast(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Opens the level name below the open folder at without following a link,
// making it first (mode 0700) when asked, and judges it. -1 with the reason
// when it is missing, cannot be made or is not safe.
int OpenLevel(int at, const std::string& name, const std::string& path, bool create,
              std::string* reason) {
    if (create && mkdirat(at, name.c_str(), 0700) != 0 && errno != EEXIST) {
        SetReason(reason, "cannot make " + path + ": " + std::strerror(errno));
        return -1;
    }
    const int fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) {
        const int error = errno;
        std::string fault;
        if (fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            fault = DirectoryFault(st, geteuid());
        }
        SetReason(reason, path + ": " + (fault.empty() ? std::strerror(error) : fault));
        return -1;
    }
    std::string fault = fstat(fd, &st) == 0 ? DirectoryFault(st, geteuid()) : std::strerror(errno);
    if (!fault.empty()) {
        close(fd);
        SetReason(reason, path + ": " + fault + "; not used for ports");
        return -1;
    }
    return fd;
}

// Opens the port directory, checking its last two levels (ours) from the
// folder above them down, so that no level is reached through a link. The
// folder above (the runtime directory or /tmp) is the system's and is only
// made when missing.
int OpenPortDirectory(const std::string& dir, bool create, std::string* reason) {
    const auto [parent, leaf] = SplitLast(dir);
    const auto [base, parentName] = SplitLast(parent);
    if (leaf.empty() || parentName.empty() || leaf == "/" || parentName == "/") {
        SetReason(reason, dir + ": too short a path for the port directory");
        return -1;
    }
    if (create) {
        for (size_t pos = 0; pos != std::string::npos;) {
            pos = base.find('/', pos + 1);
            const std::string part = base.substr(0, pos);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
                SetReason(reason, "cannot make " + part + ": " + std::strerror(errno));
                return -1;
            }
        }
    }
    const int baseFd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (baseFd < 0) {
        SetReason(reason, base + ": " + std::strerror(errno));
        return -1;
    }
    const int parentFd = OpenLevel(baseFd, parentName, parent, create, reason);
    close(baseFd);
    if (parentFd < 0) {
        return -1;
    }
    const int fd = OpenLevel(parentFd, leaf, dir, create, reason);
    close(parentFd);
    return fd;
}

} // namespace

std::string PortDirectoryPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return std::string(runtime) + "/lumaret/ports";
    }
    return "/tmp/lumaret-" + std::to_string(geteuid()) + "/ports";
}

std::string DirectoryFault(const struct stat& st, uid_t owner) {
    if (S_ISLNK(st.st_mode)) {
        return "it is a symbolic link";
    }
    if (!S_ISDIR(st.st_mode)) {
        return "it is not a directory";
    }
    if (st.st_uid != owner) {
        return "it belongs to uid " + std::to_string(st.st_uid) + ", not to uid " +
               std::to_string(owner);
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", unsigned(st.st_mode & 07777));
        return std::string("group or others may write to it (mode ") + mode + ")";
    }
    return {};
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

std::vector<DeviceMapEntry> ReadDeviceMap() {
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

std::string ResolveComDevice(unsigned port) {
    const std::string name = ComName(port);
    for (const DeviceMapEntry& e : ReadDeviceMap()) {
        if (e.comName == name) {
            return e.devicePath;
        }
    }
    return {};
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
