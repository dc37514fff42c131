#include "UucpLock.h"

#include "PortIdentity.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A lock taken over while another program takes it over too may be lost
// once; after that the device is taken to be busy.
constexpr int TAKE_ATTEMPTS = 3;

std::string FileName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// LCK..NAME for the device path leads to, then for path itself when its
// name differs.
std::vector<std::string> LockFiles(const std::string& path) {
    const std::string folder = UucpLockFolder() + "/LCK..";
    std::vector<std::string> files = {folder + FileName(DeviceBehind(path))};
    if (FileName(path) != FileName(DeviceBehind(path))) {
        files.push_back(folder + FileName(path));
    }
    return files;
}

std::string ProgramName(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    if (!std::getline(in, name) || name.empty()) {
        return "another program";
    }
    return name;
}

// The process a lock file names when it is alive; 0 for none, a stale lock
// or an unreadable one.
pid_t LiveOwner(const std::string& file) {
    std::ifstream in(file);
    long pid = 0;
    if (!(in >> pid) || pid <= 0) {
        return 0;
    }
    const bool alive = kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    return alive ? static_cast<pid_t>(pid) : 0;
}

// Puts a lock file naming this process at file, whole at once: written
// beside it and linked into place, so a reader never sees it half-written.
// EEXIST when another has it; other errors when the folder takes none.
int PlaceLock(const std::string& file) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
    std::string temp = file.substr(0, file.rfind('/') + 1) + "LTMP.XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const bool written = fchmod(fd, 0644) == 0 && write(fd, text, 11) == 11;
    close(fd);
    const int error = !written ? EIO : link(temp.c_str(), file.c_str()) == 0 ? 0 : errno;
    unlink(temp.c_str());
    return error;
}

} // namespace

std::string UucpLockFolder() {
    const char* folder = std::getenv("LUMARET_LOCK_DIR");
    return folder != nullptr && folder[0] == '/' ? folder : "/var/lock";
}

UucpHolder UucpLockHolder(const std::string& path) {
    for (const std::string& file : LockFiles(path)) {
        if (const pid_t pid = LiveOwner(file)) {
            return {pid, ProgramName(pid)};
        }
    }
    return {};
}

bool CUucpLock::Take(const std::string& path, UucpHolder& holder) {
    Release();
    const std::vector<std::string> files = LockFiles(path);
    for (int attempt = 0; attempt < TAKE_ATTEMPTS; ++attempt) {
        holder = UucpLockHolder(path);
        if (holder.pid != 0) {
            return false;
        }
        // Stale: its process has gone.
        unlink(files.front().c_str());
        const int error = PlaceLock(files.front());
        if (error == 0) {
            m_file = files.front();
            return true;
        }
        if (error != EEXIST) {
            return true; // the folder takes no lock of ours: go on without
        }
    }
    holder = UucpLockHolder(path);
    if (holder.pid == 0) {
        holder = {0, "another program"};
    }
    return false;
}

void CUucpLock::Release() {
    if (!m_file.empty()) {
        // Only while it is still ours: one taken over meanwhile is not.
        if (LiveOwner(m_file) == getpid()) {
            unlink(m_file.c_str());
        }
        m_file.clear();
    }
}
