#include "RawLine.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Waits for events on fd until deadline; false when it passed first.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd p{fd, events, 0};
        const int rc = poll(&p, 1, static_cast<int>(left.count()));
        if (rc > 0) {
            return true;
        }
        if (rc < 0 && errno != EINTR) {
            return false;
        }
    }
}

// After a read or write failed: true to try again (interrupted, or the line
// became ready again before deadline), false to give up.
bool RetryAfterError(int fd, short events, Clock::time_point deadline) {
    if (errno == EINTR) {
        return true;
    }
    return errno == EAGAIN && WaitFor(fd, events, deadline);
}

} // namespace

RawLine::RawLine(const std::string& path)
    : m_fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}

RawLine::~RawLine() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool RawLine::Write(const std::vector<uint8_t>& bytes, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && !RetryAfterError(m_fd, POLLOUT, deadline)) {
            return false;
        }
    }
    return true;
}

std::vector<uint8_t> RawLine::Read(size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::vector<uint8_t> got(count);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = read(m_fd, got.data() + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        // Nothing read: an error, or no bytes yet at the other end.
        const bool again =
            n < 0 ? RetryAfterError(m_fd, POLLIN, deadline) : WaitFor(m_fd, POLLIN, deadline);
        if (!again) {
            break;
        }
    }
    got.resize(done);
    return got;
}

std::vector<uint8_t> RawLine::Exchange(const std::vector<uint8_t>& frame, size_t replySize,
                                       std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    if (!Write(frame, timeout)) {
        return {};
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return Read(replySize, std::max(left, std::chrono::milliseconds(0)));
}

size_t ResidentBytes(int pid) {
    const std::string path =
        pid == 0 ? "/proc/self/status" : "/proc/" + std::to_string(pid) + "/status";
    std::ifstream status(path);
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            size_t kilobytes = 0;
            status >> kilobytes;
            return kilobytes * 1024;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}
