#include "TermiosDriver.h"

#include "LineBits.h"
#include "LineState.h"

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
#include <unistd.h>

namespace {

// How often a wait looks at the modem lines and the error counters, and how
// much input it holds while looking for the event character.
constexpr std::chrono::milliseconds LINE_POLL{10};
constexpr size_t LOOKAHEAD_LIMIT = 4096;

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
    // Only an absolute path: a name that did not resolve to a device must
    // never open whatever the working directory holds under it.
    if (m_fd >= 0 || path.empty() || path.front() != '/') {
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

TimedDriver::LineStep TermiosDriver::Take(uint8_t* buffer, uint32_t n) {
    for (;;) {
        bool drained = false;
        const ssize_t got = TakeInput(buffer, n, drained);
        if (got > 0) {
            // A short read of the line took all it held: wait for more
            // rather than ask again.
            return {static_cast<uint32_t>(got),
                    drained ? LineStep::Next::Wait : LineStep::Next::More};
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // With VMIN 0 an empty queue reads as 0; only after a hang-up does
        // it mean the end. EIO is a hang-up too.
        if (got == 0 || errno == EAGAIN) {
            return {0, LineStep::Next::Wait};
        }
        return {0, LineStep::Next::Failed};
    }
}

TimedDriver::LineStep TermiosDriver::Put(const uint8_t* buffer, uint32_t n) {
    for (;;) {
        const ssize_t put = write(m_fd, buffer, n);
        if (put > 0) {
            return {static_cast<uint32_t>(put), LineStep::Next::More};
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && errno == EAGAIN) {
            return {0, LineStep::Next::Wait};
        }
        return {0, LineStep::Next::Failed}; // EIO: the peer hung up
    }
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
    pollfd fds[2] = {{m_fd, portEvents, 0}, {m_lookaheadFd, POLLIN, 0}};
    const nfds_t count = withLookahead ? 2 : portEvents != 0 ? 1 : 0;
    const TransferEnd end = WaitOn(fds, count, deadline);
    if (end != TransferEnd::Complete) {
        return end;
    }
    if (count >= 1 && fds[0].revents != 0) {
        if (fds[0].revents & (POLLERR | POLLNVAL)) {
            return TransferEnd::Failed;
        }
        if (portRevents) {
            *portRevents = fds[0].revents;
        }
    }
    if (count == 2 && (fds[1].revents & POLLIN)) {
        uint64_t value = 0;
        (void)!read(m_lookaheadFd, &value, sizeof value);
    }
    return TransferEnd::Complete;
}

TransferEnd TermiosDriver::WaitInput(int, const Deadline& until, bool& hungUp) {
    short revents = 0;
    const TransferEnd end = Wait(POLLIN, until, &revents, true);
    hungUp = (revents & POLLHUP) != 0;
    return end;
}

TransferEnd TermiosDriver::WaitOutput(int, const Deadline& until) {
    return Wait(POLLOUT, until, nullptr);
}
