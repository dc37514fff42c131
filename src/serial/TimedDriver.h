#pragma once

#include "Deadline.h"
#include "DeadlineWait.h"
#include "LinkSignals.h"
#include "ReadLimits.h"
#include "SerialDriver.h"
#include "WakeList.h"

#include <atomic>
#include <chrono>
#include <poll.h>

// A driver whose transfers the five line time-outs bound, as COMMTIMEOUTS
// bound them. It keeps the time-outs and the link's two signals and runs the
// read and write loops; the driver beneath gives only the steps of its line
// (take, put, wait) and its own line calls (open, state, escapes, purges,
// modem lines, events).
//
// A read takes what is queued before it judges any deadline, then ends with
// all its bytes, at the limits ReadLimits sets, at a raised signal, or when
// the line is gone. A write puts what fits, then waits until more fits.
class TimedDriver : public ISerialDriver {
public:
    bool SetTimeouts(const CommTimeouts& timeouts) final;
    // The queues have fixed sizes; the request is advisory anyway.
    bool SetupQueues(uint32_t, uint32_t) final { return LineOpen(); }
    bool RaiseSignal(LinkSignal signal) final;
    bool LowerSignal(LinkSignal signal) final;
    void Pause(uint32_t ms) final;
    TransferResult Read(uint8_t* buffer, uint32_t n) final;
    TransferResult ReadUntil(uint8_t* buffer, uint32_t n, uint32_t ms) final;
    TransferResult ReadSome(uint8_t* buffer, uint32_t n, const Deadline& by) final;
    TransferResult Write(const uint8_t* buffer, uint32_t n) final;
    TransferResult WriteUntil(const uint8_t* buffer, uint32_t n, uint32_t ms) final;
    TransferEnd WaitSignals(uint32_t ms) final;
    uint32_t DrainInput() final;

protected:
    // What one take or put moved, and what comes next: another step at once,
    // a wait until the line is ready again, or the end of a line that failed.
    struct LineStep {
        enum class Next { More, Wait, Failed };
        uint32_t count = 0;
        Next next = Next::Wait;
    };

    virtual bool LineOpen() const = 0;
    // Up to n bytes off the line, or onto it.
    virtual LineStep Take(uint8_t* buffer, uint32_t n) = 0;
    virtual LineStep Put(const uint8_t* buffer, uint32_t n) = 0;
    // Sleep until the line has input (or room for output), wake (the
    // transfer's place among the line's waiters, -1 for none) is readable,
    // the deadline passes or a signal is raised (WaitOn's ends). hungUp: the
    // line hung up, after which an empty take ends the read.
    virtual TransferEnd WaitInput(int wake, const Deadline& until, bool& hungUp) = 0;
    virtual TransferEnd WaitOutput(int wake, const Deadline& until) = 0;
    // A line that is gone though no take or put says so (a connection the
    // server closed): it ends a write before its next put and a read after
    // a pass that took nothing.
    virtual bool LineEnded() { return false; }
    // The threads that wait on a line whose state another thread changes;
    // a transfer joins them before it first looks at the line, so that a
    // change between its look and its sleep still wakes it. None by default.
    virtual WakeList* TransferWaiters() { return nullptr; }

    // Sleeps until one of fds is ready, the deadline passes or (withSignals)
    // a signal is raised. The signal's end (abort before closing), Failed
    // when the wait itself failed, else Complete with the fds' revents (all
    // 0 after an interrupted wait). At most MAX_LINE_FDS descriptors, the
    // signals taking two of PollUntil's places.
    static constexpr nfds_t MAX_LINE_FDS = MAX_POLL_FDS - 2;
    TransferEnd WaitOn(pollfd* fds, nfds_t count, const Deadline& until,
                       bool withSignals = true) const;

private:
    using Clock = Deadline::Clock;

    // How long a read lets the bytes of a reply that is streaming in gather
    // before it takes them: about eight bytes at 9600 baud, one wake-up for
    // them instead of eight, and a read interval that ends at most this much late.
    static constexpr std::chrono::milliseconds STREAM_NAP{8};

    CommTimeouts StoredTimeouts() const;
    TransferResult ReadWith(uint8_t* buffer, uint32_t n, const ReadLimits& limits);
    // Takes what the line holds, up to n bytes in all; false when the line
    // failed.
    bool TakeQueued(uint8_t* buffer, uint32_t n, bool hungUp, TransferResult& result,
                    Clock::time_point& lastByte);
    // Writes until every byte is out or the deadline passes.
    TransferResult WriteBy(const uint8_t* buffer, uint32_t n, const Deadline& deadline);

    LinkSignals m_signals;
    std::atomic<uint32_t> m_readInterval{100};
    std::atomic<uint32_t> m_readMultiplier{10};
    std::atomic<uint32_t> m_readConstant{100};
    std::atomic<uint32_t> m_writeMultiplier{10};
    std::atomic<uint32_t> m_writeConstant{100};
};
