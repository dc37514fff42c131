#include "TimedDriver.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <thread>

namespace {

// A transfer's place among the line's waiters for as long as it runs, when
// the line has any.
class CTransferWake {
public:
    explicit CTransferWake(WakeList* waiters) {
        if (waiters != nullptr) {
            m_entry.emplace(*waiters);
        }
    }
    int Fd() const { return m_entry ? m_entry->Fd() : -1; }
    // After every wait: what woke it has been seen.
    void Clear() {
        if (m_entry) {
            m_entry->Clear();
        }
    }

private:
    std::optional<WakeList::Entry> m_entry;
};

} // namespace

bool TimedDriver::SetTimeouts(const CommTimeouts& t) {
    if (!LineOpen()) {
        return false;
    }
    m_readInterval = t.ReadIntervalTimeout;
    m_readMultiplier = t.ReadTotalTimeoutMultiplier;
    m_readConstant = t.ReadTotalTimeoutConstant;
    m_writeMultiplier = t.WriteTotalTimeoutMultiplier;
    m_writeConstant = t.WriteTotalTimeoutConstant;
    return true;
}

CommTimeouts TimedDriver::StoredTimeouts() const {
    CommTimeouts t;
    t.ReadIntervalTimeout = m_readInterval;
    t.ReadTotalTimeoutMultiplier = m_readMultiplier;
    t.ReadTotalTimeoutConstant = m_readConstant;
    t.WriteTotalTimeoutMultiplier = m_writeMultiplier;
    t.WriteTotalTimeoutConstant = m_writeConstant;
    return t;
}

bool TimedDriver::RaiseSignal(LinkSignal signal) {
    return m_signals.Raise(signal);
}

bool TimedDriver::LowerSignal(LinkSignal signal) {
    return m_signals.Lower(signal);
}

void TimedDriver::Pause(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TransferEnd TimedDriver::WaitOn(pollfd* fds, nfds_t count, const Deadline& until,
                                bool withSignals) const {
    if (count > MAX_LINE_FDS) {
        return TransferEnd::Failed;
    }
    pollfd all[2 + MAX_LINE_FDS] = {
        {withSignals ? m_signals.Fd(LinkSignal::Abort) : -1, POLLIN, 0},
        {withSignals ? m_signals.Fd(LinkSignal::Closing) : -1, POLLIN, 0}};
    std::copy_n(fds, count, all + 2);
    const int r = PollUntil(all, 2 + count, until);
    if (r < 0) {
        const TransferEnd end = errno == EINTR ? TransferEnd::Complete : TransferEnd::Failed;
        for (nfds_t i = 0; i < count; ++i) {
            fds[i].revents = 0;
        }
        return end;
    }
    for (nfds_t i = 0; i < count; ++i) {
        fds[i].revents = all[2 + i].revents;
    }
    if (all[0].revents & POLLIN) {
        return TransferEnd::Abort;
    }
    if (all[1].revents & POLLIN) {
        return TransferEnd::Closing;
    }
    return TransferEnd::Complete;
}

TransferEnd TimedDriver::WaitSignals(uint32_t ms) {
    const Deadline deadline = Deadline::AfterMs(ms);
    for (;;) {
        if (deadline.Expired()) {
            return TransferEnd::Complete;
        }
        const TransferEnd end = WaitOn(nullptr, 0, deadline);
        if (end != TransferEnd::Complete) {
            return end;
        }
    }
}

uint32_t TimedDriver::DrainInput() {
    if (!LineOpen()) {
        return 0;
    }
    uint8_t scratch[256];
    uint32_t dropped = 0;
    for (;;) {
        const LineStep took = Take(scratch, sizeof scratch);
        dropped += took.count;
        if (took.next != LineStep::Next::More) {
            return dropped;
        }
    }
}

TransferResult TimedDriver::Read(uint8_t* buffer, uint32_t n) {
    return ReadWith(buffer, n, ReadLimitsFor(StoredTimeouts(), n, Clock::now()));
}

TransferResult TimedDriver::ReadUntil(uint8_t* buffer, uint32_t n, uint32_t ms) {
    ReadLimits limits;
    limits.total = Deadline::AfterMs(ms);
    return ReadWith(buffer, n, limits);
}

TransferResult TimedDriver::ReadSome(uint8_t* buffer, uint32_t n, const Deadline& by) {
    ReadLimits limits;
    limits.total = by;
    limits.firstByte = true;
    return ReadWith(buffer, n, limits);
}

bool TimedDriver::TakeQueued(uint8_t* buffer, uint32_t n, bool hungUp, TransferResult& result,
                             Clock::time_point& lastByte) {
    while (result.count < n) {
        const LineStep took = Take(buffer + result.count, n - result.count);
        if (took.count > 0) {
            result.count += took.count;
            lastByte = Clock::now();
        }
        if (took.next == LineStep::Next::More) {
            continue;
        }
        // A hung-up line stays readable with nothing to read: the end of the
        // transfer, not "try again".
        return took.next != LineStep::Next::Failed && (took.count > 0 || !hungUp);
    }
    return true;
}

TransferResult TimedDriver::ReadWith(uint8_t* buffer, uint32_t n, const ReadLimits& limits) {
    TransferResult result;
    if (!LineOpen()) {
        return result;
    }
    CTransferWake wake(TransferWaiters());
    auto lastByte = Clock::now();
    bool hungUp = false;
    for (;;) {
        const uint32_t countBefore = result.count;
        // Take what is queued first, before any deadline is judged.
        if (!TakeQueued(buffer, n, hungUp, result, lastByte)) {
            result.end = TransferEnd::Failed;
            return result;
        }
        if (result.count == n || limits.immediate || (limits.firstByte && result.count > 0)) {
            result.end = TransferEnd::Complete;
            return result;
        }
        if (result.count == countBefore && LineEnded()) {
            result.end = TransferEnd::Failed;
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
        hungUp = false;
        const TransferEnd waited =
            streaming ? WaitOn(nullptr, 0, end.Earlier(Deadline::After(STREAM_NAP)))
                      : WaitInput(wake.Fd(), end, hungUp);
        wake.Clear();
        if (waited != TransferEnd::Complete) {
            result.end = waited;
            return result;
        }
        // After a hang-up the next pass takes what is still queued, then ends.
    }
}

TransferResult TimedDriver::Write(const uint8_t* buffer, uint32_t n) {
    return WriteBy(buffer, n, WriteDeadlineFor(StoredTimeouts(), n, Clock::now()));
}

TransferResult TimedDriver::WriteUntil(const uint8_t* buffer, uint32_t n, uint32_t ms) {
    return WriteBy(buffer, n, Deadline::AfterMs(ms));
}

TransferResult TimedDriver::WriteBy(const uint8_t* buffer, uint32_t n, const Deadline& deadline) {
    TransferResult result;
    if (!LineOpen()) {
        return result;
    }
    CTransferWake wake(TransferWaiters());
    for (;;) {
        if (LineEnded()) {
            result.end = TransferEnd::Failed;
            return result;
        }
        while (result.count < n) {
            const LineStep put = Put(buffer + result.count, n - result.count);
            result.count += put.count;
            if (put.next == LineStep::Next::Failed) {
                result.end = TransferEnd::Failed;
                return result;
            }
            if (put.next == LineStep::Next::Wait) {
                break;
            }
        }
        if (result.count == n || deadline.Expired()) {
            result.end = TransferEnd::Complete;
            return result;
        }
        const TransferEnd end = WaitOutput(wake.Fd(), deadline);
        wake.Clear();
        if (end != TransferEnd::Complete) {
            result.end = end;
            return result;
        }
    }
}
