#pragma once

#include "Dcb.h"
#include "Deadline.h"
#include "SerialSettings.h"

#include <cstdint>
#include <string>
#include <vector>

// The platform steps of a serial link. CSerialLink keeps the rules (argument
// checks, settings, the order of the close steps, which signal does what);
// the driver moves bytes and waits.

enum class LinkSignal { Abort, Closing };

// How a transfer's wait ended: its own completion (n bytes, or the line
// time-outs), one of the two signals, or a failure of the line.
enum class TransferEnd { Complete, Abort, Closing, Failed };

struct TransferResult {
    uint32_t count = 0;
    TransferEnd end = TransferEnd::Failed;
};

// EscapeCommFunction codes.
inline constexpr uint32_t SETXOFF = 1;
inline constexpr uint32_t SETXON = 2;
inline constexpr uint32_t SETRTS = 3;
inline constexpr uint32_t CLRRTS = 4;
inline constexpr uint32_t SETDTR = 5;
inline constexpr uint32_t CLRDTR = 6;
inline constexpr uint32_t SETBREAK = 8;
inline constexpr uint32_t CLRBREAK = 9;

// PurgeComm flags.
inline constexpr uint32_t PURGE_TXABORT = 0x1;
inline constexpr uint32_t PURGE_RXABORT = 0x2;
inline constexpr uint32_t PURGE_TXCLEAR = 0x4;
inline constexpr uint32_t PURGE_RXCLEAR = 0x8;

// ClearCommError error bits.
inline constexpr uint32_t CE_RXOVER = 0x1;
inline constexpr uint32_t CE_OVERRUN = 0x2;
inline constexpr uint32_t CE_RXPARITY = 0x4;
inline constexpr uint32_t CE_FRAME = 0x8;
inline constexpr uint32_t CE_BREAK = 0x10;

// Modem status bits.
inline constexpr uint32_t MS_CTS_ON = 0x10;
inline constexpr uint32_t MS_DSR_ON = 0x20;
inline constexpr uint32_t MS_RING_ON = 0x40;
inline constexpr uint32_t MS_RLSD_ON = 0x80;

// The queue-status record of ClearCommError; flags stay 0 here.
struct ComStat {
    uint32_t flags = 0;
    uint32_t cbInQue = 0;
    uint32_t cbOutQue = 0;
};

class ISerialDriver {
public:
    virtual ~ISerialDriver() = default;

    // Opens COM<port> exclusively; false when it has no device or is held.
    virtual bool OpenDevice(uint8_t port) = 0;
    virtual void CloseDevice() = 0;

    virtual bool SetState(const Dcb& dcb) = 0;
    virtual bool SetTimeouts(const CommTimeouts& timeouts) = 0;
    virtual bool SetupQueues(uint32_t inSize, uint32_t outSize) = 0;
    virtual bool EscapeFunction(uint32_t code) = 0;
    virtual bool Purge(uint32_t flags) = 0;
    // Takes every byte received so far off the line and counts them, so
    // that a purge can say what it threw away. A driver without it drops none.
    virtual uint32_t DrainInput() { return 0; }

    // Manual-reset signals: raised until lowered, seen by every waiting transfer.
    virtual bool RaiseSignal(LinkSignal signal) = 0;
    virtual bool LowerSignal(LinkSignal signal) = 0;

    virtual void Pause(uint32_t ms) = 0;

    // A transfer of up to n bytes that waits for all of them no longer than
    // ms, whatever the line time-outs; ended early by a raised signal.
    // A driver without them fails.
    virtual TransferResult ReadUntil(uint8_t*, uint32_t, uint32_t) { return {}; }
    virtual TransferResult WriteUntil(const uint8_t*, uint32_t, uint32_t) { return {}; }
    // What is queued, or else the first bytes to come before the deadline,
    // up to n; ended early by a raised signal. A driver without it fails.
    virtual TransferResult ReadSome(uint8_t*, uint32_t, const Deadline&) { return {}; }
    // Waits up to ms for a signal only; Complete when the time ran out.
    virtual TransferEnd WaitSignals(uint32_t) { return TransferEnd::Failed; }

    // Waits up to ms for one of the EV_ events in mask (EV_RXFLAG: evtChar
    // seen in the input); Complete with the events, or with 0 when the time
    // ran out.
    virtual TransferEnd WaitEvent(uint32_t, char, uint32_t, uint32_t& events) {
        events = 0;
        return TransferEnd::Failed;
    }

    // Line status; a driver without it reports failure, which the link
    // turns into 0.
    // The line errors since the last call, and the bytes in both queues.
    virtual bool ClearErrors(uint32_t&, ComStat&) { return false; }
    // The MS_ bits of the modem lines.
    virtual bool GetModemStatus(uint32_t&) { return false; }

    // One transfer each, bounded by the time-outs last set and ended early by
    // a raised signal (abort before closing when both are up).
    virtual TransferResult Read(uint8_t* buffer, uint32_t n) = 0;
    virtual TransferResult Write(const uint8_t* buffer, uint32_t n) = 0;

    // Why the line failed in words of its own ("cannot connect to HOST:PORT:
    // ...", "the server closed the connection"); empty when the driver has
    // none to give and the caller's diagnosis stands.
    virtual std::string FailureReason() const { return {}; }
    // What the driver did besides what it was asked, for a trace (a server
    // that did not answer a request in time), each said once.
    virtual std::vector<std::string> TakeNotes() { return {}; }
};
