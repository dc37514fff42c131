#include "PortDirectory.h"

#include "ComName.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsCharDevice(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// A link is live while its target is a character device and, when a lock
// file sits beside it, some publisher still holds that lock.
bool IsLiveLink(const std::string& linkPath) {
    if (!IsCharDevice(linkPath))
        return false;
    const std::string lockPath = linkPath + ".lock";
    const int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno == ENOENT;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

// An 8250 port without hardware reports type 0 ("unknown") in sysfs.
bool IsPresentUart(unsigned index) {
    char path[64];
    std::snprintf(path, sizeof path, "/sys/class/tty/ttyS%u/type", index);
    std::ifstream in(path);
    int type = 0;
    return in && (in >> type) && type != 0;
}

bool SafeDirectory(const std::string& dir) {
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

std::string PortDirectoryPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0')
        return std::string(runtime) + "/lumaret/ports";
    return "/tmp/lumaret-" + std::to_string(geteuid()) + "/ports";
}

bool EnsurePortDirectory(const std::string& dir) {
    // Make each missing level; only the last two are ours and get mode 0700.
    for (size_t pos = 1; pos != std::string::npos;) {
        pos = dir.find('/', pos + 1);
        const std::string part = dir.substr(0, pos);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return SafeDirectory(dir);
}

std::vector<DeviceMapEntry> ReadDeviceMap() {
    std::vector<DeviceMapEntry> map;
    std::vector<unsigned> taken;

    const std::string dir = PortDirectoryPath();
    if (SafeDirectory(dir)) {
        if (DIR* d = opendir(dir.c_str())) {
            std::vector<std::pair<unsigned, std::string>> links;
            while (const dirent* e = readdir(d)) {
                const std::string name = e->d_name;
                const unsigned n = ParseComNumber(name).value_or(0);
                if (n == 0)
                    continue;
                const std::string path = dir + "/" + name;
                struct stat st {};
                if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
                    continue;
                if (IsLiveLink(path))
                    links.emplace_back(n, path);
            }
            closedir(d);
            std::sort(links.begin(), links.end());
            for (const auto& [n, path] : links) {
                map.push_back({path, ComName(n)});
                taken.push_back(n);
            }
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
            if (std::find(taken.begin(), taken.end(), n) != taken.end())
                continue;
            const std::string path = f.prefix + std::to_string(i);
            if (!IsCharDevice(path))
                continue;
            if (f.firstCom == 1 && !IsPresentUart(i))
                continue;
            map.push_back({path, ComName(n)});
        }
    }
    return map;
}

std::string ResolveComDevice(unsigned port) {
    const std::string name = ComName(port);
    for (const DeviceMapEntry& e : ReadDeviceMap())
        if (e.comName == name)
            return e.devicePath;
    return {};
}

PortPublication::~PortPublication() {
    Withdraw();
}

bool PortPublication::Publish(const std::string& comName, const std::string& devicePath) {
    Withdraw();
    if (!ParseComNumber(comName))
        return false;
    const std::string dir = PortDirectoryPath();
    if (!EnsurePortDirectory(dir))
        return false;

    const std::string linkPath = dir + "/" + comName;
    const std::string lockPath = linkPath + ".lock";
    const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd); // a live publication holds the name
        return false;
    }
    // Whatever link is there is stale now that we hold the lock.
    unlink(linkPath.c_str());
    if (symlink(devicePath.c_str(), linkPath.c_str()) != 0) {
        close(fd);
        return false;
    }
    m_lockFd = fd;
    m_linkPath = linkPath;
    m_lockPath = lockPath;
    return true;
}

void PortPublication::Withdraw() {
    if (m_lockFd < 0)
        return;
    unlink(m_linkPath.c_str());
    unlink(m_lockPath.c_str());
    close(m_lockFd);
    m_lockFd = -1;
    m_linkPath.clear();
    m_lockPath.clear();
}
