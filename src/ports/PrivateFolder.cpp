#include "PrivateFolder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

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
              const std::string& use, std::string* reason) {
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
        SetReason(reason, path + ": " + fault + "; not used for " + use);
        return -1;
    }
    return fd;
}

// Makes every folder of path that is missing, from the top down.
bool MakeFolders(const std::string& path, std::string* reason) {
    for (size_t pos = 0; pos != std::string::npos;) {
        pos = path.find('/', pos + 1);
        const std::string part = path.substr(0, pos);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            SetReason(reason, "cannot make " + part + ": " + std::strerror(errno));
            return false;
        }
    }
    return true;
}

} // namespace

std::string LumaretRuntimePath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return std::string(runtime) + "/lumaret";
    }
    return "/tmp/lumaret-" + std::to_string(geteuid());
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

int OpenPrivateFolder(const std::string& dir, int ownLevels, bool create, const std::string& use,
                      std::string* reason) {
    // The own levels' names, the top one first, and the folder above them.
    std::vector<std::string> own;
    std::string base = dir;
    for (int i = 0; i < ownLevels; ++i) {
        auto [above, name] = SplitLast(base);
        if (name.empty() || name == "/" || name == "." || name == "..") {
            break;
        }
        own.insert(own.begin(), std::move(name));
        base = std::move(above);
    }
    if (own.size() != static_cast<size_t>(ownLevels)) {
        SetReason(reason, dir + ": too short a path for a folder of " + use);
        return -1;
    }
    if (create && !MakeFolders(base, reason)) {
        return -1;
    }
    int fd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        SetReason(reason, base + ": " + std::strerror(errno));
        return -1;
    }
    std::string path = base;
    for (const std::string& name : own) {
        path += (path.back() == '/' ? "" : "/") + name;
        const int level = OpenLevel(fd, name, path, create, use, reason);
        close(fd);
        if (level < 0) {
            return -1;
        }
        fd = level;
    }
    return fd;
}
