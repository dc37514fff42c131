#include "SafeFileReplace.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The process's file mode mask, read without changing it (umask() would,
// for every thread at once); 022 when /proc does not tell.
mode_t CurrentUmask() {
    mode_t mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[128];
        while (std::fgets(line, sizeof line, status)) {
            unsigned value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value & 0777);
                break;
            }
        }
        std::fclose(status);
    }
    return mask;
}

const char* FileKind(mode_t mode) {
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISFIFO(mode)) {
        return "a named pipe";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

SaveOutcome ReplaceFileContents(const std::string& path, const std::string& text) {
    const auto fail = [&path](const std::string& why) {
        return SaveOutcome{false, "cannot save to '" + path + "': " + why};
    };

    // Only a plain file is replaced, and the new one keeps its mode and owner.
    struct stat old {};
    const bool replacing = lstat(path.c_str(), &old) == 0;
    if (!replacing && errno != ENOENT) {
        return fail(std::strerror(errno));
    }
    if (replacing && !S_ISREG(old.st_mode)) {
        return fail(std::string("it is ") + FileKind(old.st_mode) +
                    "; only a regular file is replaced, so it is left as it is");
    }
    const mode_t mode = replacing ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());

    // A fresh name beside the target (never one that may already exist, as a
    // planted link could), written in full and renamed over it, so that a
    // failed save leaves the old file whole.
    const size_t slash = path.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = (dir == "/" ? "/" : dir + "/") + "." + name + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return fail("cannot make a new file in " + dir + ": " + std::strerror(errno));
    }
    std::string error;
    // The owner first: changing it clears set-id bits that the mode then restores.
    if (!WriteAll(fd, text)) {
        error = std::string("cannot write: ") + std::strerror(errno);
    } else if (replacing && (old.st_uid != geteuid() || old.st_gid != getegid()) &&
               fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) {
        error = std::string("cannot keep its owner: ") + std::strerror(errno);
    } else if (fchmod(fd, mode) != 0) {
        error = std::string("cannot set its mode: ") + std::strerror(errno);
    } else if (fsync(fd) != 0) {
        error = std::string("cannot write to the disk: ") + std::strerror(errno);
    }
    if (close(fd) != 0 && error.empty()) {
        error = std::string("cannot write: ") + std::strerror(errno);
    }
    if (error.empty() && std::rename(temp.c_str(), path.c_str()) != 0) {
        error = std::string("cannot replace it: ") + std::strerror(errno);
    }
    if (!error.empty()) {
        unlink(temp.c_str());
        return fail(error);
    }
    // The rename itself reaches the disk with the folder.
    if (const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return SaveOutcome{true, {}};
}
