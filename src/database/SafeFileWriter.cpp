#include "SafeFileWriter.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_anonymousFiles{true};

// Fresh files that have a name are ".NAME.lumaret-XXXXXX" beside the target:
// a mark of our own, so that clearing stale ones never takes another's file.
constexpr std::string_view FRESH_MARK = ".lumaret-";
constexpr size_t FRESH_SUFFIX = 6;

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

std::string FreshStem(const std::string& path) {
    const std::string folder = FolderOf(path);
    return (folder == "/" ? "/" : folder + "/") + "." + NameOf(path) + std::string(FRESH_MARK);
}

bool IsFreshName(std::string_view name) {
    const size_t mark = name.rfind(FRESH_MARK);
    return name.size() > 1 && name[0] == '.' && mark != std::string_view::npos && mark > 1 &&
           name.size() == mark + FRESH_MARK.size() + FRESH_SUFFIX;
}

std::string RandomSuffix() {
    static constexpr char LETTERS[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[FRESH_SUFFIX] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // Names only need to differ now; a clash is retried by the caller.
        static std::atomic<unsigned> s_count{0};
        const unsigned seed = s_count++ * 2654435761U ^ static_cast<unsigned>(::getpid());
        for (size_t i = 0; i < sizeof bytes; ++i) {
            bytes[i] = static_cast<unsigned char>(seed >> (i * 5));
        }
    }
    std::string suffix;
    for (unsigned char b : bytes) {
        suffix += LETTERS[b % (sizeof LETTERS - 1)];
    }
    return suffix;
}

// A writer holds an flock on its fresh file for as long as it lives, so a
// fresh file of ours that nobody holds was left by a writer that was killed.
void RemoveStaleFreshFile(int folderFd, const char* name) {
    const int fd = ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(folderFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
        ::unlinkat(folderFd, name, 0);
    }
    ::close(fd);
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

void RemoveStaleFreshFiles(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (IsFreshName(entry->d_name)) {
            RemoveStaleFreshFile(::dirfd(dir), entry->d_name);
        }
    }
    ::closedir(dir);
}

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

void CSafeFileWriter::AllowAnonymousFiles(bool allowed) {
    g_anonymousFiles = allowed;
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
    RemoveStaleFreshFiles(folder);
    if (!OpenAnonymous(folder) && !OpenNamed(folder, problem)) {
        return false;
    }
    m_writeFailed = false;
    return true;
}

bool CSafeFileWriter::OpenAnonymous(const std::string& folder) {
    // Linking it needs /proc/self/fd; without it a named file does.
    if (!g_anonymousFiles || ::access("/proc/self/fd", X_OK) != 0) {
        return false;
    }
    // Refused where the file system or the kernel has no unnamed files
    // (EOPNOTSUPP, or EISDIR from a kernel that does not know O_TMPFILE).
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    // Held like a named file's, for the names it gets on its way into place.
    ::flock(fd, LOCK_EX);
    m_fd = fd;
    return true;
}

bool CSafeFileWriter::OpenNamed(const std::string& folder, std::string* problem) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = FreshStem(m_path) + std::string(FRESH_SUFFIX, 'X');
        const int fd = ::mkostemp(m_temp.data(), O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            break;
        }
        // Another writer may have cleared it as stale before the lock was
        // taken: then it has no name left, and another is made.
        struct stat st {};
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
            m_fd = fd;
            return true;
        }
        ::close(fd);
    }
    Tell(problem,
         "cannot save to '" + m_path + "': cannot make a new file in " + folder + ": " + Errno());
    m_temp.clear();
    return false;
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

bool CSafeFileWriter::LinkFresh(std::string& linked) const {
    const std::string from = m_temp.empty() ? "/proc/self/fd/" + std::to_string(m_fd) : m_temp;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // linkat never follows or replaces what stands at the new name.
        linked = FreshStem(m_path) + RandomSuffix();
        if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, linked.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    linked.clear();
    return false;
}

std::string CSafeFileWriter::KeepOwnerAndMode() const {
    // The owner first: changing it clears set-id bits that the mode then restores.
    if ((m_owner != ::geteuid() || m_group != ::getegid()) &&
        ::fchown(m_fd, m_owner, m_group) != 0 && errno != EPERM) {
        return "cannot keep its owner: " + Errno();
    }
    if (::fchmod(m_fd, m_mode) != 0) {
        return "cannot set its mode: " + Errno();
    }
    return {};
}

std::string CSafeFileWriter::PutAt(const std::string& destination, bool keepFresh) {
    // rename replaces a link at the destination, never follows it.
    std::string named = m_temp;
    if ((named.empty() || keepFresh) && !LinkFresh(named)) {
        return "cannot put it in place: " + Errno();
    }
    if (std::rename(named.c_str(), destination.c_str()) != 0) {
        std::string error = "cannot put it in place: " + Errno();
        if (named != m_temp) {
            ::unlink(named.c_str());
        }
        return error;
    }
    if (named == m_temp) {
        m_temp.clear();
    }
    return {};
}

bool CSafeFileWriter::MoveTo(const std::string& destination, std::string* problem) {
    if (m_fd < 0) {
        Tell(problem, "cannot write " + destination + ": nothing was opened");
        return false;
    }
    std::string error;
    if (m_writeFailed) {
        error = std::string("cannot write: ") + std::strerror(m_writeError);
    }
    if (error.empty()) {
        error = KeepOwnerAndMode();
    }
    if (error.empty() && ::fsync(m_fd) != 0) {
        error = "cannot write to the disk: " + Errno();
    }
    // Moved while the lock is held, so that no other writer clears it as stale.
    if (error.empty()) {
        error = PutAt(destination, false);
    }
    Discard();
    if (!error.empty()) {
        Tell(problem, "cannot save to '" + destination + "': " + error);
        return false;
    }
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

bool CSafeFileWriter::KeepWrittenSoFar(std::string* problem) {
    if (m_fd < 0) {
        Tell(problem, "cannot write " + PartialPath() + ": nothing was opened");
        return false;
    }
    std::string error = KeepOwnerAndMode();
    if (error.empty()) {
        error = PutAt(PartialPath(), true);
    }
    if (!error.empty()) {
        Tell(problem, "cannot save to '" + PartialPath() + "': " + error);
        return false;
    }
    return true;
}

void CSafeFileWriter::Discard() {
    // Unnamed before it is closed: a named fresh file is never without its lock.
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
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
