#include "ExportFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

CExportFile::CExportFile(std::string path) : m_path(std::move(path)) {}

CExportFile::~CExportFile() {
    Keep();
}

bool CExportFile::Open(std::string* reason) {
    Keep();
    m_fd = ::open(PartialPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (m_fd < 0 && reason != nullptr) {
        *reason = "cannot write " + PartialPath() + ": " + std::strerror(errno);
    }
    return m_fd >= 0;
}

bool CExportFile::WriteString(std::string_view text) {
    if (m_fd < 0) {
        return false;
    }
    while (!text.empty()) {
        const ssize_t put = ::write(m_fd, text.data(), text.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.remove_prefix(static_cast<size_t>(put));
    }
    return true;
}

bool CExportFile::Commit(std::string* reason) {
    auto fail = [&](const std::string& what) {
        if (reason != nullptr) {
            *reason = what + ": " + std::strerror(errno) + "; " + m_path + " is unchanged";
        }
        Keep();
        return false;
    };
    if (m_fd < 0) {
        return fail("cannot write " + PartialPath());
    }
    if (::fsync(m_fd) != 0) {
        return fail("cannot flush " + PartialPath());
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        return fail("cannot close " + PartialPath());
    }
    if (::rename(PartialPath().c_str(), m_path.c_str()) != 0) {
        return fail("cannot rename " + PartialPath() + " to " + m_path);
    }
    // The rename itself reaches the disk with the directory.
    const int dir = ::open(DirectoryOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void CExportFile::Keep() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = -1;
}
