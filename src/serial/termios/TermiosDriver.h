#pragma once

#include "LineBits.h"
#include "TimedDriver.h"

#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

// The real driver: a tty descriptor in non-blocking mode, polled beside the
// link's two signals; TimedDriver keeps the line time-outs.
class TermiosDriver final : public TimedDriver {
public:
    TermiosDriver();
    ~TermiosDriver() override;

    // Opens nothing: the port driver finds the device behind a COM name
    // and opens its path.
    bool OpenDevice(uint8_t port) override;
    // An absolute device path; anything else is refused.
    bool OpenPath(const std::string& path);
    void CloseDevice() override;
    bool SetState(const Dcb& dcb) override;
    bool EscapeFunction(uint32_t code) override;
    bool Purge(uint32_t flags) override;
    TransferEnd WaitEvent(uint32_t mask, char evtChar, uint32_t ms, uint32_t& events) override;
    bool ClearErrors(uint32_t& errors, ComStat& stat) override;
    bool GetModemStatus(uint32_t& status) override;

    int Descriptor() const { return m_fd; }

private:
    bool LineOpen() const override { return m_fd >= 0; }
    LineStep Take(uint8_t* buffer, uint32_t n) override;
    LineStep Put(const uint8_t* buffer, uint32_t n) override;
    // A read's wait also wakes when another thread's event wait moved input
    // into the look-ahead.
    TransferEnd WaitInput(int wake, const Deadline& until, bool& hungUp) override;
    TransferEnd WaitOutput(int wake, const Deadline& until) override;

    // Waits for events on the port (0 for none) or a signal, until the
    // deadline at the latest; withLookahead also wakes when another thread's event
    // wait moved input into the look-ahead. Returns the signal's end, Complete
    // when the port became ready or the time ran out, Failed when the wait
    // itself failed. portRevents (if given) receives the port's poll events,
    // 0 when it did not become ready; each waiting thread gets its own.
    TransferEnd Wait(short portEvents, const Deadline& deadline, short* portRevents,
                     bool withLookahead = false);

    bool ReadCounters(ErrorCounters& c) const;
    bool ReadModemStatus(uint32_t& status) const;

    // Input taken off the line to look for the event character; reads are
    // served from it first. drained: the line held fewer than n bytes.
    ssize_t TakeInput(uint8_t* buffer, size_t n, bool& drained);
    // Moves what has come into the look-ahead, up to its limit; true when the
    // new part holds evtChar.
    bool MoveInputToLookahead(char evtChar);
    // Whether input waits on the line or in the look-ahead.
    bool InputWaiting();
    bool LookaheadFull();
    std::mutex m_lookMutex;
    std::vector<uint8_t> m_lookahead;

    // The kernel's error counters as of the last ClearErrors (or the open).
    ErrorCounters m_counters;
    int m_fd = -1;
    int m_lookaheadFd = -1; // counts additions to the look-ahead
    bool m_savedValid = false;
    unsigned char m_saved[64] = {}; // the line's termios2 at open, restored at close
};
