#include "TermiosDriver.h"

#include "DeadlineWait.h"
#include "LineBits.h"
#include "LineState.h"
#include "ReadLimits.h"

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

// How often a wait looks at the modem lines and the error counters, and how
// much input it holds while looking for the event character.
constexpr std::chrono::milliseconds LINE_POLL{10};
constexpr size_t LOOKAHEAD_LIMIT = 4096;
// How long a read lets the bytes of a reply that is streaming in gather
// before it takes them: about eight bytes at 9600 baud, one wake-up for them
// instead of eight, and a read interval that ends at most this much late.
constexpr std::chrono::milliseconds STREAM_NAP{8};

} // namespace

TermiosDriver::TermiosDriver() {
    m_lookaheadFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TermiosDriver::~TermiosDriver() {
    CloseDevice();
    if (m_lookaheadFd >= 0) {
        close(m_lookaheadFd);
    }
}

// COM names are resolved above the drivers (PortDriver), which open paths.
bool TermiosDriver::OpenDevice(uint8_t) {
    return false;
}

bool TermiosDriver::OpenPath(const std::string& path) {
    if (m_fd >= 0 || path.empty()) {
        return false;
    }
    // Non-blocking so that opening never waits for carrier.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
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
    m_counters = ErrorCounters{};
    ReadCounters(m_counters);
    return true;
}

void TermiosDriver::CloseDevice() {
    if (m_fd < 0) {
        return;
    }
    if (m_savedValid) {
        RestoreLine(m_fd, m_saved);
    }
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
    if (m_fd < 0) {
        return false;
    }
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
    if (m_fd < 0) {
        return false;
    }
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
    if (m_fd < 0) {
        return false;
    }
    // Nothing stays pending between calls, so the abort flags have nothing
    // to end; the clear flags map onto the two queues.
    const bool in = flags & PURGE_RXCLEAR;
    const bool out = flags & PURGE_TXCLEAR;
    if (in) {
        std::lock_guard lock(m_lookMutex);
        m_lookahead.clear();
    }
    if (in && out) {
        return tcflush(m_fd, TCIOFLUSH) == 0;
    }
    if (in) {
        return tcflush(m_fd, TCIFLUSH) == 0;
    }
    if (out) {
        return tcflush(m_fd, TCOFLUSH) == 0;
    }
    return true;
}

bool TermiosDriver::RaiseSignal(LinkSignal signal) {
    return m_signals.Raise(signal);
}

bool TermiosDriver::LowerSignal(LinkSignal signal) {
    return m_signals.Lower(signal);
}

void TermiosDriver::Pause(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TransferResult TermiosDriver::ReadUntil(uint8_t* buffer, uint32_t n, uint32_t ms) {
    ReadLimits limits;
    limits.total = Deadline::AfterMs(ms);
    return ReadWith(buffer, n, limits);
}

TransferResult TermiosDriver::ReadSome(uint8_t* buffer, uint32_t n, const Deadline& by) {
    ReadLimits limits;
    limits.total = by;
    limits.firstByte = true;
    return ReadWith(buffer, n, limits);
}

TransferResult TermiosDriver::WriteUntil(const uint8_t* buffer, uint32_t n, uint32_t ms) {
    return WriteBy(buffer, n, Deadline::AfterMs(ms));
}

ssize_t TermiosDriver::TakeInput(uint8_t* buffer, size_t n, bool& drained) {
    {
        std::lock_guard lock(m_lookMutex);
        if (!m_lookahead.empty()) {
            const size_t count = std::min(n, m_lookahead.size());
            std::copy_n(m_lookahead.begin(), count, buffer);
            m_lookahead.erase(m_lookahead.begin(), m_lookahead.begin() + ptrdiff_t(count));
            return ssize_t(count);
        }
    }
    const ssize_t got = read(m_fd, buffer, n);
    drained = got >= 0 && static_cast<size_t>(got) < n;
    return got;
}

bool TermiosDriver::MoveInputToLookahead(char evtChar) {
    std::lock_guard lock(m_lookMutex);
    bool seen = false;
    uint8_t chunk[256];
    while (m_lookahead.size() < LOOKAHEAD_LIMIT) {
        const ssize_t got =
            read(m_fd, chunk, std::min(sizeof chunk, LOOKAHEAD_LIMIT - m_lookahead.size()));
        if (got <= 0) {
            break;
        }
        if (std::find(chunk, chunk + got, uint8_t(evtChar)) != chunk + got) {
            seen = true;
        }
        m_lookahead.insert(m_lookahead.end(), chunk, chunk + got);
        // A read waiting on the line meanwhile is told the bytes are here.
        const uint64_t one = 1;
        (void)!write(m_lookaheadFd, &one, sizeof one);
    }
    return seen;
}

bool TermiosDriver::InputWaiting() {
    int queued = 0;
    ioctl(m_fd, TIOCINQ, &queued);
    std::lock_guard lock(m_lookMutex);
    return queued > 0 || !m_lookahead.empty();
}

bool TermiosDriver::LookaheadFull() {
    std::lock_guard lock(m_lookMutex);
    return m_lookahead.size() >= LOOKAHEAD_LIMIT;
}

TransferEnd TermiosDriver::WaitEvent(uint32_t mask, char evtChar, uint32_t ms, uint32_t& events) {
    events = 0;
    if (m_fd < 0) {
        return TransferEnd::Failed;
    }
    const bool wantInput = mask & (EV_RXCHAR | EV_RXFLAG);
    const bool wantLines = mask & (EV_CTS | EV_DSR | EV_RLSD | EV_RING);
    const bool wantCounters = mask & (EV_BREAK | EV_ERR);
    uint32_t linesAtStart = 0;
    const bool haveLines = wantLines && ReadModemStatus(linesAtStart);
    ErrorCounters countersAtStart;
    const bool haveCounters = wantCounters && ReadCounters(countersAtStart);
    const Deadline deadline = Deadline::AfterMs(ms);

    for (;;) {
        if ((mask & EV_RXFLAG) && MoveInputToLookahead(evtChar)) {
            events |= EV_RXFLAG;
        }
        if ((mask & EV_RXCHAR) && InputWaiting()) {
            events |= EV_RXCHAR;
        }
        uint32_t lines = 0;
        if (haveLines && ReadModemStatus(lines)) {
            events |= LineEventsBetween(linesAtStart, lines);
        }
        ErrorCounters now;
        if (haveCounters && ReadCounters(now)) {
            events |= ErrorEventsFrom(CommErrorsBetween(countersAtStart, now));
        }
        events &= mask;
        if (events != 0) {
            return TransferEnd::Complete;
        }

        if (deadline.Expired()) {
            return TransferEnd::Complete;
        }
        // Modem lines and error counters give no poll event: they are looked at
        // every LINE_POLL, as is a full look-ahead.
        const bool lookaheadFull = LookaheadFull();
        const Deadline next = haveLines || haveCounters || lookaheadFull
                                  ? deadline.Earlier(Deadline::After(LINE_POLL))
                                  : deadline;
        short revents = 0;
        const TransferEnd end = Wait(wantInput && !lookaheadFull ? POLLIN : 0, next, &revents);
        if (end != TransferEnd::Complete) {
            return end;
        }
        // A hung-up line stays readable with nothing to read.
        if (revents & POLLHUP) {
            return TransferEnd::Failed;
        }
    }
}

TransferEnd TermiosDriver::WaitSignals(uint32_t ms) {
    const Deadline deadline = Deadline::AfterMs(ms);
    for (;;) {
        if (deadline.Expired()) {
            return TransferEnd::Complete;
        }
        const TransferEnd end = Wait(0, deadline, nullptr);
        if (end != TransferEnd::Complete) {
            return end;
        }
    }
}

bool TermiosDriver::ReadModemStatus(uint32_t& status) const {
    int bits = 0;
    if (ioctl(m_fd, TIOCMGET, &bits) != 0) {
        return false;
    }
    status = ModemStatusFromLines(bits);
    return true;
}

bool TermiosDriver::ReadCounters(ErrorCounters& c) const {
    serial_icounter_struct icount{};
    if (ioctl(m_fd, TIOCGICOUNT, &icount) != 0) {
        return false;
    }
    c = {icount.brk, icount.frame, icount.overrun, icount.parity, icount.buf_overrun};
    return true;
}

bool TermiosDriver::ClearErrors(uint32_t& errors, ComStat& stat) {
    errors = 0;
    stat = {};
    if (m_fd < 0) {
        return false;
    }
    int in = 0, out = 0;
    if (ioctl(m_fd, TIOCINQ, &in) != 0 || ioctl(m_fd, TIOCOUTQ, &out) != 0) {
        return false;
    }
    {
        std::lock_guard lock(m_lookMutex);
        in += static_cast<int>(m_lookahead.size());
    }
    stat.cbInQue = static_cast<uint32_t>(in);
    stat.cbOutQue = static_cast<uint32_t>(out);
    // Lines without the counters (a pseudo-terminal) report no errors.
    ErrorCounters now;
    if (ReadCounters(now)) {
        errors = CommErrorsBetween(m_counters, now);
        m_counters = now;
    }
    return true;
}

bool TermiosDriver::GetModemStatus(uint32_t& status) {
    status = 0;
    return m_fd >= 0 && ReadModemStatus(status);
}

TransferEnd TermiosDriver::Wait(short portEvents, const Deadline& deadline, short* portRevents,
                                bool withLookahead) {
    if (portRevents) {
        *portRevents = 0;
    }
    pollfd fds[4] = {{m_signals.Fd(LinkSignal::Abort), POLLIN, 0},
                     {m_signals.Fd(LinkSignal::Closing), POLLIN, 0},
                     {m_fd, portEvents, 0},
                     {m_lookaheadFd, POLLIN, 0}};
    const nfds_t count = withLookahead ? 4 : portEvents != 0 ? 3 : 2;
    const int r = PollUntil(fds, count, deadline);
    if (r < 0) {
        return errno == EINTR ? TransferEnd::Complete : TransferEnd::Failed;
    }
    if (fds[0].revents & POLLIN) {
        return TransferEnd::Abort;
    }
    if (fds[1].revents & POLLIN) {
        return TransferEnd::Closing;
    }
    if (count >= 3 && fds[2].revents != 0) {
        if (fds[2].revents & (POLLERR | POLLNVAL)) {
            return TransferEnd::Failed;
        }
        if (portRevents) {
            *portRevents = fds[2].revents;
        }
    }
    if (count == 4 && (fds[3].revents & POLLIN)) {
        uint64_t value = 0;
        (void)!read(m_lookaheadFd, &value, sizeof value);
    }
    return TransferEnd::Complete;
}

CommTimeouts TermiosDriver::StoredTimeouts() const {
    CommTimeouts t;
    t.ReadIntervalTimeout = m_readInterval;
    t.ReadTotalTimeoutMultiplier = m_readMultiplier;
    t.ReadTotalTimeoutConstant = m_readConstant;
    t.WriteTotalTimeoutMultiplier = m_writeMultiplier;
    t.WriteTotalTimeoutConstant = m_writeConstant;
    return t;
}

TransferResult TermiosDriver::Read(uint8_t* buffer, uint32_t n) {
    return ReadWith(buffer, n, ReadLimitsFor(StoredTimeouts(), n, Clock::now()));
}

TransferResult TermiosDriver::ReadWith(uint8_t* buffer, uint32_t n, const ReadLimits& limits) {
    TransferResult result;
    if (m_fd < 0) {
        return result;
    }

    auto lastByte = Clock::now();
    bool hungUp = false;
    for (;;) {
        const uint32_t countBefore = result.count;
        // Take what is queued first, before any deadline is judged.
        while (result.count < n) {
            bool drained = false;
            const ssize_t got = TakeInput(buffer + result.count, n - result.count, drained);
            if (got > 0) {
                result.count += static_cast<uint32_t>(got);
                lastByte = Clock::now();
                // A short read of the line took all it held: wait for more
                // rather than ask again.
                if (drained) {
                    break;
                }
                continue;
            }
            if (got < 0 && errno == EINTR) {
                continue;
            }
            // With VMIN 0 an empty queue reads as 0; only after a hang-up
            // does it mean the end. EIO is a hang-up too.
            if ((got == 0 || errno == EAGAIN) && !hungUp) {
                break;
            }
            result.end = TransferEnd::Failed;
            return result;
        }
        if (result.count == n || limits.immediate || (limits.firstByte && result.count > 0)) {
            result.end = TransferEnd::Complete;
            return result;
        }

        const Deadline end = ReadEnd(limits, result.count > 0, lastByte);
        if (end.Expired()) {
            result.end = TransferEnd::Complete;
            return result;
        }

        // While a reply streams in, its bytes come a byte time apart: rather
        // than wake for each, let them gather for STREAM_NAP and take them
        // together. The interval then counts from when they were taken, at
        // most STREAM_NAP after they came.
        const bool streaming = result.count > countBefore && limits.interval != 0;
        short revents = 0;
        const TransferEnd waited = streaming
                                       ? Wait(0, end.Earlier(Deadline::After(STREAM_NAP)), nullptr)
                                       : Wait(POLLIN, end, &revents, true);
        if (waited != TransferEnd::Complete) {
            result.end = waited;
            return result;
        }
        // The next pass takes what is still queued, then ends.
        hungUp = (revents & POLLHUP) != 0;
    }
}

TransferResult TermiosDriver::Write(const uint8_t* buffer, uint32_t n) {
    return WriteBy(buffer, n, WriteDeadlineFor(StoredTimeouts(), n, Clock::now()));
}

TransferResult TermiosDriver::WriteBy(const uint8_t* buffer, uint32_t n, const Deadline& deadline) {
    TransferResult result;
    if (m_fd < 0) {
        return result;
    }

    for (;;) {
        while (result.count < n) {
            const ssize_t put = write(m_fd, buffer + result.count, n - result.count);
            if (put > 0) {
                result.count += static_cast<uint32_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put < 0 && errno == EAGAIN) {
                break;
            }
            result.end = TransferEnd::Failed; // EIO: the peer hung up
            return result;
        }
        if (result.count == n) {
            result.end = TransferEnd::Complete;
            return result;
        }
        if (deadline.Expired()) {
            result.end = TransferEnd::Complete;
            return result;
        }
        const TransferEnd end = Wait(POLLOUT, deadline, nullptr);
        if (end != TransferEnd::Complete) {
            result.end = end;
            return result;
        }
    }
}
