#include "SafeFileWriter.h"

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
        while (std::fgets(line, sizeof line, status) != nullptr) {
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

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Errno() {
    return std::strerror(errno);
}

void Tell(std::string* problem, std::string text) {
    if (problem != nullptr) {
        *problem = std::move(text);
    }
}

// The rename itself reaches the disk with the folder.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

ReplaceTarget CheckReplaceTarget(const std::string& path) {
    ReplaceTarget target;
    if (path.empty() || path.back() == '/') {
        target.problem = "it names no file";
        return target;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            target.problem = Errno();
            return target;
        }
        target.ok = true;
        return target;
    }
    if (!S_ISREG(st.st_mode)) {
        target.problem = std::string("it is ") + FileKind(st.st_mode) +
                         "; only a regular file is replaced, so it is left as it is";
        return target;
    }
    target.ok = true;
    target.exists = true;
    target.mode = st.st_mode & 07777;
    target.owner = st.st_uid;
    target.group = st.st_gid;
    return target;
}

CSafeFileWriter::CSafeFileWriter(std::string path) : m_path(std::move(path)) {}

CSafeFileWriter::~CSafeFileWriter() {
    Discard();
}

bool CSafeFileWriter::Open(std::string* problem) {
    Discard();
    const ReplaceTarget target = CheckReplaceTarget(m_path);
    if (!target.ok) {
        Tell(problem, "cannot save to '" + m_path + "': " + target.problem);
        return false;
    }
    m_targetExisted = target.exists;
    m_mode = target.exists ? target.mode : (0666 & ~CurrentUmask());
    m_owner = target.exists ? target.owner : ::geteuid();
    m_group = target.exists ? target.group : ::getegid();
    const std::string folder = FolderOf(m_path);
    m_temp = (folder == "/" ? "/" : folder + "/") + "." + NameOf(m_path) + ".XXXXXX";
    m_fd = ::mkostemp(m_temp.data(), O_CLOEXEC | O_NOFOLLOW);
    if (m_fd < 0) {
        Tell(problem, "cannot save to '" + m_path + "': cannot make a new file in " + folder +
                          ": " + Errno());
        m_temp.clear();
        return false;
    }
    m_writeFailed = false;
    return true;
}

bool CSafeFileWriter::WriteString(std::string_view text) {
    if (m_fd < 0 || m_writeFailed) {
        return false;
    }
    while (!text.empty()) {
        const ssize_t put = ::write(m_fd, text.data(), text.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            m_writeError = put < 0 ? errno : EIO;
            m_writeFailed = true;
            return false;
        }
        text.remove_prefix(static_cast<size_t>(put));
    }
    return true;
}

bool CSafeFileWriter::MoveTo(const std::string& destination, std::string* problem) {
    if (m_fd < 0) {
        Tell(problem, "cannot write " + destination + ": nothing was opened");
        return false;
    }
    std::string error;
    // The owner first: changing it clears set-id bits that the mode then restores.
    if (m_writeFailed) {
        error = std::string("cannot write: ") + std::strerror(m_writeError);
    } else if ((m_owner != ::geteuid() || m_group != ::getegid()) &&
               ::fchown(m_fd, m_owner, m_group) != 0 && errno != EPERM) {
        error = "cannot keep its owner: " + Errno();
    } else if (::fchmod(m_fd, m_mode) != 0) {
        error = "cannot set its mode: " + Errno();
    } else if (::fsync(m_fd) != 0) {
        error = "cannot write to the disk: " + Errno();
    }
    if (::close(m_fd) != 0 && error.empty()) {
        error = "cannot write: " + Errno();
    }
    m_fd = -1;
    if (error.empty() && std::rename(m_temp.c_str(), destination.c_str()) != 0) {
        error = "cannot put it in place: " + Errno();
    }
    if (!error.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
        Tell(problem, "cannot save to '" + destination + "': " + error);
        return false;
    }
    m_temp.clear();
    SyncFolder(FolderOf(destination));
    return true;
}

bool CSafeFileWriter::Commit(std::string* problem) {
    // Checked again: what stood there at Open may have been swapped meanwhile.
    const ReplaceTarget target = CheckReplaceTarget(m_path);
    if (!target.ok) {
        Tell(problem, "cannot save to '" + m_path + "': " + target.problem);
        return false;
    }
    return MoveTo(m_path, problem);
}

bool CSafeFileWriter::KeepAsPartial(std::string* problem) {
    struct stat st {};
    if (::lstat(PartialPath().c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        Tell(problem, "cannot save to '" + PartialPath() + "': it is a folder");
        return false;
    }
    return MoveTo(PartialPath(), problem);
}

void CSafeFileWriter::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

SaveOutcome ReplaceFileContents(const std::string& path, const std::string& text) {
    CSafeFileWriter writer(path);
    std::string problem;
    if (!writer.Open(&problem)) {
        return SaveOutcome{false, problem};
    }
    // A write that failed is told by Commit, which then leaves the file alone.
    writer.WriteString(text);
    if (!writer.Commit(&problem)) {
        return SaveOutcome{false, problem};
    }
    return SaveOutcome{true, {}};
}
