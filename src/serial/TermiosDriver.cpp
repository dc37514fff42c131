#include "TermiosDriver.h"

#include "LineState.h"
#include "PortDirectory.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t MAXDWORD = 0xFFFFFFFFu;
// How often a wait looks at the modem lines and the error counters, and how
// much input it holds while looking for the event character.
constexpr int LINE_POLL_MS = 10;
constexpr size_t LOOKAHEAD_LIMIT = 4096;

// Milliseconds left until the deadline, rounded up so that a wait never
// returns just short of it and spins on a 0 ms poll.
int MsUntil(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

} // namespace

TermiosDriver::TermiosDriver() {
    m_abortFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_closingFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_lookaheadFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TermiosDriver::~TermiosDriver() {
    CloseDevice();
    if (m_abortFd >= 0)
        close(m_abortFd);
    if (m_closingFd >= 0)
        close(m_closingFd);
    if (m_lookaheadFd >= 0)
        close(m_lookaheadFd);
}

bool TermiosDriver::OpenDevice(uint8_t port) {
    if (m_fd >= 0)
        return false;
    const std::string path = ResolveComDevice(port);
    if (path.empty())
        return false;
    // Non-blocking so that opening never waits for carrier.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (!isatty(fd)) {
        close(fd);
        return false;
    }
    // The lock holds even for root, who passes TIOCEXCL.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    if (ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
        close(fd);
        return false;
    }
    m_savedValid = SaveLine(fd, m_saved);
    m_fd = fd;
    // Errors from before the open are not ours to report.
    m_counters = {};
    ReadCounters(m_counters);
    return true;
}

void TermiosDriver::CloseDevice() {
    if (m_fd < 0)
        return;
    if (m_savedValid)
        RestoreLine(m_fd, m_saved);
    m_savedValid = false;
    {
        std::lock_guard lock(m_lookMutex);
        m_lookahead.clear();
    }
    ioctl(m_fd, TIOCNXCL);
    close(m_fd); // closing drops the flock as well
    m_fd = -1;
}

bool TermiosDriver::SetState(const Dcb& dcb) {
    return m_fd >= 0 && ApplyDcb(m_fd, dcb);
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

// The kernel's queues have fixed sizes; the request is advisory anyway.
bool TermiosDriver::SetupQueues(uint32_t, uint32_t) {
    return m_fd >= 0;
}

bool TermiosDriver::EscapeFunction(uint32_t code) {
    if (m_fd < 0)
        return false;
    int bits = 0;
    switch (code) {
    case SETDTR:
        bits = TIOCM_DTR;
        return ioctl(m_fd, TIOCMBIS, &bits) == 0;
    case CLRDTR:
        bits = TIOCM_DTR;
        return ioctl(m_fd, TIOCMBIC, &bits) == 0;
    case SETRTS:
        bits = TIOCM_RTS;
        return ioctl(m_fd, TIOCMBIS, &bits) == 0;
    case CLRRTS:
        bits = TIOCM_RTS;
        return ioctl(m_fd, TIOCMBIC, &bits) == 0;
    case SETBREAK:
        return ioctl(m_fd, TIOCSBRK) == 0;
    case CLRBREAK:
        return ioctl(m_fd, TIOCCBRK) == 0;
    case SETXOFF:
        return ioctl(m_fd, TCXONC, TCOOFF) == 0;
    case SETXON:
        return ioctl(m_fd, TCXONC, TCOON) == 0;
    default:
        return false;
    }
}

bool TermiosDriver::Purge(uint32_t flags) {
    if (m_fd < 0)
        return false;
    // Nothing stays pending between calls, so the abort flags have nothing
    // to end; the clear flags map onto the two queues.
    const bool in = flags & PURGE_RXCLEAR;
    const bool out = flags & PURGE_TXCLEAR;
    if (in) {
        std::lock_guard lock(m_lookMutex);
        m_lookahead.clear();
    }
    if (in && out)
        return tcflush(m_fd, TCIOFLUSH) == 0;
    if (in)
        return tcflush(m_fd, TCIFLUSH) == 0;
    if (out)
        return tcflush(m_fd, TCOFLUSH) == 0;
    return true;
}

int TermiosDriver::SignalFd(LinkSignal signal) const {
    return signal == LinkSignal::Abort ? m_abortFd : m_closingFd;
}

bool TermiosDriver::RaiseSignal(LinkSignal signal) {
    const uint64_t one = 1;
    return write(SignalFd(signal), &one, sizeof one) == sizeof one;
}

bool TermiosDriver::LowerSignal(LinkSignal signal) {
    uint64_t value = 0;
    // Reading the counter clears it; an already clear signal gives EAGAIN.
    return read(SignalFd(signal), &value, sizeof value) == sizeof value || errno == EAGAIN;
}

void TermiosDriver::Pause(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TransferResult TermiosDriver::ReadUntil(uint8_t* buffer, uint32_t n, uint32_t ms) {
    ReadLimits limits;
    limits.total = Clock::now() + std::chrono::milliseconds(ms);
    return ReadWith(buffer, n, limits);
}

TransferResult TermiosDriver::WriteUntil(const uint8_t* buffer, uint32_t n, uint32_t ms) {
    return WriteBy(buffer, n, Clock::now() + std::chrono::milliseconds(ms));
}

ssize_t TermiosDriver::TakeInput(uint8_t* buffer, size_t n) {
    {
        std::lock_guard lock(m_lookMutex);
        if (!m_lookahead.empty()) {
            const size_t count = std::min(n, m_lookahead.size());
            std::copy_n(m_lookahead.begin(), count, buffer);
            m_lookahead.erase(m_lookahead.begin(), m_lookahead.begin() + ptrdiff_t(count));
            return ssize_t(count);
        }
    }
    return read(m_fd, buffer, n);
}

TransferEnd TermiosDriver::WaitEvent(uint32_t mask, char evtChar, uint32_t ms, uint32_t& events) {
    events = 0;
    if (m_fd < 0)
        return TransferEnd::Failed;
    const bool wantInput = mask & (EV_RXCHAR | EV_RXFLAG);
    const bool wantLines = mask & (EV_CTS | EV_DSR | EV_RLSD | EV_RING);
    const bool wantCounters = mask & (EV_BREAK | EV_ERR);
    int linesAtStart = 0;
    const bool haveLines = wantLines && ioctl(m_fd, TIOCMGET, &linesAtStart) == 0;
    Counters countersAtStart;
    const bool haveCounters = wantCounters && ReadCounters(countersAtStart);
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);

    for (;;) {
        if (mask & EV_RXFLAG) {
            // Move what has come into the look-ahead and look at the new part.
            std::lock_guard lock(m_lookMutex);
            uint8_t chunk[256];
            while (m_lookahead.size() < LOOKAHEAD_LIMIT) {
                const ssize_t got =
                    read(m_fd, chunk, std::min(sizeof chunk, LOOKAHEAD_LIMIT - m_lookahead.size()));
                if (got <= 0)
                    break;
                if (std::find(chunk, chunk + got, uint8_t(evtChar)) != chunk + got)
                    events |= EV_RXFLAG;
                m_lookahead.insert(m_lookahead.end(), chunk, chunk + got);
                // A read waiting on the line meanwhile is told the bytes are here.
                const uint64_t one = 1;
                (void)!write(m_lookaheadFd, &one, sizeof one);
            }
        }
        if (mask & EV_RXCHAR) {
            int queued = 0;
            ioctl(m_fd, TIOCINQ, &queued);
            std::lock_guard lock(m_lookMutex);
            if (queued > 0 || !m_lookahead.empty())
                events |= EV_RXCHAR;
        }
        int lines = 0;
        if (haveLines && ioctl(m_fd, TIOCMGET, &lines) == 0) {
            const int changed = lines ^ linesAtStart;
            if (changed & TIOCM_CTS)
                events |= EV_CTS;
            if (changed & TIOCM_DSR)
                events |= EV_DSR;
            if (changed & TIOCM_CD)
                events |= EV_RLSD;
            if (changed & TIOCM_RI)
                events |= EV_RING;
        }
        Counters now;
        if (haveCounters && ReadCounters(now)) {
            if (now.brk != countersAtStart.brk)
                events |= EV_BREAK;
            if (now.frame != countersAtStart.frame || now.overrun != countersAtStart.overrun ||
                now.parity != countersAtStart.parity)
                events |= EV_ERR;
        }
        events &= mask;
        if (events != 0)
            return TransferEnd::Complete;

        int timeoutMs = MsUntil(deadline);
        if (timeoutMs == 0)
            return TransferEnd::Complete;
        if (haveLines || haveCounters)
            timeoutMs = std::min(timeoutMs, LINE_POLL_MS);
        bool lookaheadFull = false;
        {
            std::lock_guard lock(m_lookMutex);
            lookaheadFull = m_lookahead.size() >= LOOKAHEAD_LIMIT;
        }
        if (lookaheadFull && !haveLines && !haveCounters)
            timeoutMs = std::min(timeoutMs, LINE_POLL_MS);
        short revents = 0;
        const TransferEnd end = Wait(wantInput && !lookaheadFull ? POLLIN : 0, timeoutMs, &revents);
        if (end != TransferEnd::Complete)
            return end;
        // A hung-up line stays readable with nothing to read.
        if (revents & POLLHUP)
            return TransferEnd::Failed;
    }
}

TransferEnd TermiosDriver::WaitSignals(uint32_t ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const int timeoutMs = MsUntil(deadline);
        if (timeoutMs == 0)
            return TransferEnd::Complete;
        const TransferEnd end = Wait(0, timeoutMs, nullptr);
        if (end != TransferEnd::Complete)
            return end;
    }
}

bool TermiosDriver::ReadCounters(Counters& c) const {
    serial_icounter_struct icount{};
    if (ioctl(m_fd, TIOCGICOUNT, &icount) != 0)
        return false;
    c = {icount.brk, icount.frame, icount.overrun, icount.parity, icount.buf_overrun};
    return true;
}

bool TermiosDriver::ClearErrors(uint32_t& errors, ComStat& stat) {
    errors = 0;
    stat = {};
    if (m_fd < 0)
        return false;
    int in = 0, out = 0;
    if (ioctl(m_fd, TIOCINQ, &in) != 0 || ioctl(m_fd, TIOCOUTQ, &out) != 0)
        return false;
    {
        std::lock_guard lock(m_lookMutex);
        in += static_cast<int>(m_lookahead.size());
    }
    stat.cbInQue = static_cast<uint32_t>(in);
    stat.cbOutQue = static_cast<uint32_t>(out);
    // Lines without the counters (a pseudo-terminal) report no errors.
    Counters now;
    if (ReadCounters(now)) {
        if (now.brk != m_counters.brk)
            errors |= CE_BREAK;
        if (now.frame != m_counters.frame)
            errors |= CE_FRAME;
        if (now.overrun != m_counters.overrun)
            errors |= CE_OVERRUN;
        if (now.parity != m_counters.parity)
            errors |= CE_RXPARITY;
        if (now.bufOverrun != m_counters.bufOverrun)
            errors |= CE_RXOVER;
        m_counters = now;
    }
    return true;
}

bool TermiosDriver::GetModemStatus(uint32_t& status) {
    status = 0;
    int bits = 0;
    if (m_fd < 0 || ioctl(m_fd, TIOCMGET, &bits) != 0)
        return false;
    if (bits & TIOCM_CTS)
        status |= MS_CTS_ON;
    if (bits & TIOCM_DSR)
        status |= MS_DSR_ON;
    if (bits & TIOCM_RI)
        status |= MS_RING_ON;
    if (bits & TIOCM_CD)
        status |= MS_RLSD_ON;
    return true;
}

TransferEnd TermiosDriver::Wait(short portEvents, int timeoutMs, short* portRevents,
                                bool withLookahead) {
    if (portRevents)
        *portRevents = 0;
    pollfd fds[4] = {{m_abortFd, POLLIN, 0},
                     {m_closingFd, POLLIN, 0},
                     {m_fd, portEvents, 0},
                     {m_lookaheadFd, POLLIN, 0}};
    const nfds_t count = withLookahead ? 4 : portEvents != 0 ? 3 : 2;
    const int r = poll(fds, count, timeoutMs);
    if (r < 0)
        return errno == EINTR ? TransferEnd::Complete : TransferEnd::Failed;
    if (fds[0].revents & POLLIN)
        return TransferEnd::Abort;
    if (fds[1].revents & POLLIN)
        return TransferEnd::Closing;
    if (count >= 3 && fds[2].revents != 0) {
        if (fds[2].revents & (POLLERR | POLLNVAL))
            return TransferEnd::Failed;
        if (portRevents)
            *portRevents = fds[2].revents;
    }
    if (count == 4 && (fds[3].revents & POLLIN)) {
        uint64_t value = 0;
        (void)!read(m_lookaheadFd, &value, sizeof value);
    }
    return TransferEnd::Complete;
}

TransferResult TermiosDriver::Read(uint8_t* buffer, uint32_t n) {
    const uint32_t interval = m_readInterval, multiplier = m_readMultiplier,
                   constant = m_readConstant;
    const auto start = Clock::now();
    // Both totals 0: no overall limit. Interval MAXDWORD with no totals: take
    // what is queued and return. Interval and multiplier MAXDWORD: wait up to
    // the constant for the first byte, then return what is there.
    ReadLimits limits;
    limits.immediate = interval == MAXDWORD && multiplier == 0 && constant == 0;
    limits.firstByte =
        interval == MAXDWORD && multiplier == MAXDWORD && constant != 0 && constant != MAXDWORD;
    if (limits.firstByte)
        limits.total = start + std::chrono::milliseconds(constant);
    else if (multiplier != 0 || constant != 0)
        limits.total = start + std::chrono::milliseconds(uint64_t(multiplier) * n + constant);
    if (interval != MAXDWORD)
        limits.interval = interval;
    return ReadWith(buffer, n, limits);
}

TransferResult TermiosDriver::ReadWith(uint8_t* buffer, uint32_t n, const ReadLimits& limits) {
    TransferResult result;
    if (m_fd < 0)
        return result;

    auto lastByte = Clock::now();
    bool hungUp = false;
    for (;;) {
        // Take what is queued first, before any deadline is judged.
        while (result.count < n) {
            const ssize_t got = TakeInput(buffer + result.count, n - result.count);
            if (got > 0) {
                result.count += static_cast<uint32_t>(got);
                lastByte = Clock::now();
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            // With VMIN 0 an empty queue reads as 0; only after a hang-up
            // does it mean the end. EIO is a hang-up too.
            if ((got == 0 || errno == EAGAIN) && !hungUp)
                break;
            result.end = TransferEnd::Failed;
            return result;
        }
        if (result.count == n || limits.immediate || (limits.firstByte && result.count > 0)) {
            result.end = TransferEnd::Complete;
            return result;
        }

        auto deadline = limits.total.value_or(Clock::time_point::max());
        if (result.count > 0 && limits.interval != 0)
            deadline = std::min(deadline, lastByte + std::chrono::milliseconds(limits.interval) +
                                              std::chrono::microseconds(1));
        int timeoutMs = -1;
        if (deadline != Clock::time_point::max()) {
            timeoutMs = MsUntil(deadline);
            if (timeoutMs == 0) {
                result.end = TransferEnd::Complete;
                return result;
            }
        }

        short revents = 0;
        const TransferEnd end = Wait(POLLIN, timeoutMs, &revents, true);
        if (end != TransferEnd::Complete) {
            result.end = end;
            return result;
        }
        // The next pass takes what is still queued, then ends.
        hungUp = (revents & POLLHUP) != 0;
    }
}

TransferResult TermiosDriver::Write(const uint8_t* buffer, uint32_t n) {
    const uint32_t multiplier = m_writeMultiplier, constant = m_writeConstant;
    std::optional<Clock::time_point> deadline;
    if (multiplier != 0 || constant != 0)
        deadline = Clock::now() + std::chrono::milliseconds(uint64_t(multiplier) * n + constant);
    return WriteBy(buffer, n, deadline);
}

TransferResult TermiosDriver::WriteBy(const uint8_t* buffer, uint32_t n,
                                      std::optional<Clock::time_point> deadline) {
    TransferResult result;
    if (m_fd < 0)
        return result;

    for (;;) {
        while (result.count < n) {
            const ssize_t put = write(m_fd, buffer + result.count, n - result.count);
            if (put > 0) {
                result.count += static_cast<uint32_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0 && errno == EAGAIN)
                break;
            result.end = TransferEnd::Failed; // EIO: the peer hung up
            return result;
        }
        if (result.count == n) {
            result.end = TransferEnd::Complete;
            return result;
        }
        int timeoutMs = -1;
        if (deadline) {
            timeoutMs = MsUntil(*deadline);
            if (timeoutMs == 0) {
                result.end = TransferEnd::Complete;
                return result;
            }
        }
        const TransferEnd end = Wait(POLLOUT, timeoutMs, nullptr);
        if (end != TransferEnd::Complete) {
            result.end = end;
            return result;
        }
    }
}
