#include "DatabaseFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Say(std::string* reason, std::string text) {
    if (reason != nullptr) {
        *reason = std::move(text);
    }
}

std::string SystemText(int error) {
    return std::strerror(error);
}

std::string TooLargeText() {
    return "it is larger than " +
           std::to_string(CDatabaseFile::MAX_READ_BYTES / (uint64_t{1024} * 1024)) +
           " MB, far more than any database file";
}

} // namespace

CDatabaseFile::~CDatabaseFile() {
    Close();
}

bool CDatabaseFile::OpenForWriting(const std::string& path) {
    Close();
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    return m_fd >= 0;
}

bool CDatabaseFile::OpenForAppending(const std::string& path) {
    Close();
    m_fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    return m_fd >= 0;
}

bool CDatabaseFile::Sync() {
    return m_fd >= 0 && ::fdatasync(m_fd) == 0;
}

bool CDatabaseFile::OpenForReading(const std::string& path, std::string* reason) {
    Close();
    // Non-blocking, so that opening a named pipe never waits for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        Say(reason, SystemText(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        Say(reason, SystemText(errno));
        ::close(fd);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        Say(reason, "it is a directory");
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        Say(reason, "it is not a regular file");
        ::close(fd);
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > MAX_READ_BYTES) {
        Say(reason, TooLargeText());
        ::close(fd);
        return false;
    }
    // Regular files never block; the flag is dropped so reads behave plainly.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    return true;
}

bool CDatabaseFile::ReadAll(std::string& text, std::string* reason) {
    text.clear();
    if (m_fd < 0) {
        Say(reason, "the file is not open");
        return false;
    }
    if (::lseek(m_fd, 0, SEEK_SET) < 0) {
        Say(reason, SystemText(errno));
        return false;
    }
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            Say(reason, SystemText(errno));
            return false;
        }
        if (got == 0) {
            return true;
        }
        // The file may grow while it is read; the limit holds all the same.
        if (text.size() + static_cast<size_t>(got) > MAX_READ_BYTES) {
            Say(reason, TooLargeText());
            text.clear();
            return false;
        }
        text.append(chunk, static_cast<size_t>(got));
    }
}

bool CDatabaseFile::WriteString(std::string_view text) {
    if (m_fd < 0) {
        return false;
    }
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t put = ::write(m_fd, data, left);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += put;
        left -= static_cast<size_t>(put);
    }
    return true;
}

bool CDatabaseFile::Close() {
    if (m_fd < 0) {
        return true;
    }
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    return closed;
}
