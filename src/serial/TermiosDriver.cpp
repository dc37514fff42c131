#include "TermiosDriver.h"

#include "DcbTermios.h"
#include "PortDirectory.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

static_assert(sizeof(struct termios2) <= 64);

// Milliseconds until a deadline, rounded up so a wait never ends early and
// never turns into a 0 ms spin.
int MsUntil(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<Ms>(left).count();
    return ms > 1000000 ? 1000000 : static_cast<int>(ms);
}

bool IsRaised(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

} // namespace

TermiosDriver::TermiosDriver() {
    m_abortFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_closingFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

TermiosDriver::~TermiosDriver() {
    CloseDevice();
    if (m_abortFd >= 0)
        ::close(m_abortFd);
    if (m_closingFd >= 0)
        ::close(m_closingFd);
}

bool TermiosDriver::OpenDevice(uint8_t port) {
    if (m_fd >= 0)
        return false;
    const std::string path = ResolveComDevice(port);
    if (path.empty())
        return false;
    // O_NONBLOCK: opening must never wait for carrier.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // The lock holds against every opener, root included; TIOCEXCL keeps
    // other users out even when they do not lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
        ::close(fd);
        return false;
    }
    struct termios2 saved {};
    m_savedValid = ::ioctl(fd, TCGETS2, &saved) == 0;
    if (m_savedValid)
        std::memcpy(m_saved, &saved, sizeof saved);
    m_fd = fd;
    return true;
}

void TermiosDriver::CloseDevice() {
    if (m_fd < 0)
        return;
    if (m_savedValid) {
        struct termios2 saved {};
        std::memcpy(&saved, m_saved, sizeof saved);
        saved.c_cflag &= ~HUPCL; // leave DTR as the program set it
        ::ioctl(m_fd, TCSETS2, &saved);
    }
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd); // releases the flock too
    m_fd = -1;
    m_savedValid = false;
}

bool TermiosDriver::SetState(const Dcb& dcb) {
    if (m_fd < 0)
        return false;
    struct termios2 t {};
    if (::ioctl(m_fd, TCGETS2, &t) != 0)
        return false;
    DcbToTermios(dcb, t);
    return ::ioctl(m_fd, TCSETS2, &t) == 0;
}

bool TermiosDriver::SetTimeouts(const CommTimeouts& t) {
    if (m_fd < 0)
        return false;
    m_readInterval = t.ReadIntervalTimeout;
    m_readMultiplier = t.ReadTotalTimeoutMultiplier;
    m_readConstant = t.ReadTotalTimeoutConstant;
    m_writeMultiplier = t.WriteTotalTimeoutMultiplier;
    m_writeConstant = t.WriteTotalTimeoutConstant;
    return true;
}

bool TermiosDriver::SetupQueues(uint32_t, uint32_t) {
    // The kernel sizes its tty buffers itself; the sizes are advice only.
    return m_fd >= 0;
}

bool TermiosDriver::EscapeFunction(uint32_t code) {
    if (m_fd < 0)
        return false;
    int bits = 0;
    switch (code) {
    case SETDTR:
        bits = TIOCM_DTR;
        return ::ioctl(m_fd, TIOCMBIS, &bits) == 0;
    case CLRDTR:
        bits = TIOCM_DTR;
        return ::ioctl(m_fd, TIOCMBIC, &bits) == 0;
    case SETRTS:
        bits = TIOCM_RTS;
        return ::ioctl(m_fd, TIOCMBIS, &bits) == 0;
    case CLRRTS:
        bits = TIOCM_RTS;
        return ::ioctl(m_fd, TIOCMBIC, &bits) == 0;
    case SETXOFF:
        return ::ioctl(m_fd, TCXONC, TCOOFF) == 0;
    case SETXON:
        return ::ioctl(m_fd, TCXONC, TCOON) == 0;
    case SETBREAK:
        return ::ioctl(m_fd, TIOCSBRK) == 0;
    case CLRBREAK:
        return ::ioctl(m_fd, TIOCCBRK) == 0;
    default:
        errno = EINVAL;
        return false;
    }
}

bool TermiosDriver::Purge(uint32_t flags) {
    if (m_fd < 0)
        return false;
    const bool in = flags & (PURGE_RXABORT | PURGE_RXCLEAR);
    const bool out = flags & (PURGE_TXABORT | PURGE_TXCLEAR);
    if (!in && !out)
        return true;
    return ::ioctl(m_fd, TCFLSH, in && out ? TCIOFLUSH : (in ? TCIFLUSH : TCOFLUSH)) == 0;
}

int TermiosDriver::SignalFd(LinkSignal signal) const {
    return signal == LinkSignal::Abort ? m_abortFd : m_closingFd;
}

bool TermiosDriver::RaiseSignal(LinkSignal signal) {
    const int fd = SignalFd(signal);
    if (fd < 0)
        return false;
    if (IsRaised(fd))
        return true;
    const uint64_t one = 1;
    return ::write(fd, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
}

bool TermiosDriver::LowerSignal(LinkSignal signal) {
    const int fd = SignalFd(signal);
    if (fd < 0)
        return false;
    uint64_t value = 0;
    while (::read(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value)) {
    }
    return true;
}

void TermiosDriver::Pause(uint32_t ms) {
    std::this_thread::sleep_for(Ms(ms));
}

TransferEnd TermiosDriver::Wait(short portEvents, int timeoutMs, bool* portReady) {
    pollfd fds[3] = {{m_abortFd, POLLIN, 0}, {m_closingFd, POLLIN, 0}, {m_fd, portEvents, 0}};
    const nfds_t count = portEvents ? 3 : 2;
    *portReady = false;
    const int r = ::poll(fds, count, timeoutMs);
    if (r < 0)
        return errno == EINTR ? TransferEnd::Complete : TransferEnd::Failed;
    if (fds[0].revents & POLLIN)
        return TransferEnd::Abort;
    if (fds[1].revents & POLLIN)
        return TransferEnd::Closing;
    if (count == 3 && fds[2].revents)
        *portReady = true;
    return TransferEnd::Complete;
}

TransferResult TermiosDriver::Read(uint8_t* buffer, uint32_t n) {
    TransferResult result;
    if (m_fd < 0 || buffer == nullptr || n == 0)
        return result;

    const uint32_t interval = m_readInterval;
    const uint64_t total = uint64_t(m_readMultiplier) * n + m_readConstant;
    const auto start = Clock::now();
    const bool hasTotal = total != 0;
    const auto totalDeadline = start + Ms(total);
    // An interval of all ones with no total time-out: take what is queued and return.
    const bool queuedOnly = interval == 0xFFFFFFFFu && !hasTotal;
    Clock::time_point lastByte{};

    for (;;) {
        // First pass first: bytes already queued count as received at the start.
        const ssize_t got = ::read(m_fd, buffer + result.count, n - result.count);
        if (got > 0) {
            result.count += static_cast<uint32_t>(got);
            lastByte = Clock::now();
            if (result.count == n)
                break;
            continue;
        }
        if (got == 0)
            break; // hung up: end with what we have
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            // EIO after a hang-up ends the read with its bytes; anything else fails it.
            if (errno != EIO)
                result.end = TransferEnd::Failed;
            else
                result.end = TransferEnd::Complete;
            return result;
        }
        if (queuedOnly)
            break;

        Clock::time_point deadline = Clock::time_point::max();
        if (hasTotal)
            deadline = totalDeadline;
        if (result.count > 0 && interval != 0 && interval != 0xFFFFFFFFu)
            deadline = std::min(deadline, lastByte + Ms(interval));
        int timeoutMs = -1;
        if (deadline != Clock::time_point::max()) {
            timeoutMs = MsUntil(deadline);
            if (timeoutMs == 0)
                break;
        }
        bool ready = false;
        const TransferEnd end = Wait(POLLIN, timeoutMs, &ready);
        if (end != TransferEnd::Complete) {
            result.end = end;
            return result;
        }
    }
    result.end = TransferEnd::Complete;
    return result;
}

TransferResult TermiosDriver::Write(const uint8_t* buffer, uint32_t n) {
    TransferResult result;
    if (m_fd < 0 || buffer == nullptr || n == 0)
        return result;

    const uint64_t total = uint64_t(m_writeMultiplier) * n + m_writeConstant;
    const bool hasTotal = total != 0;
    const auto deadline = Clock::now() + Ms(total);

    while (result.count < n) {
        const ssize_t put = ::write(m_fd, buffer + result.count, n - result.count);
        if (put > 0) {
            result.count += static_cast<uint32_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno != EAGAIN) {
            result.end = TransferEnd::Failed; // EIO, EPIPE: the peer is gone
            return result;
        }
        int timeoutMs = -1;
        if (hasTotal) {
            timeoutMs = MsUntil(deadline);
            if (timeoutMs == 0)
                break;
        }
        bool ready = false;
        const TransferEnd end = Wait(POLLOUT, timeoutMs, &ready);
        if (end != TransferEnd::Complete) {
            result.end = end;
            return result;
        }
    }
    result.end = TransferEnd::Complete;
    return result;
}
