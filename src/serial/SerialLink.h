#pragma once

#include "ReplyGap.h"
#include "SerialDriver.h"
#include "SerialSettings.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

// The program's serial-port object. Results only: counts or true/false, and
// every operation on a closed port gives 0 or false.
class CSerialLink {
public:
    // On the driver of the port's kind (PortDriver, where port names are known).
    CSerialLink();
    explicit CSerialLink(std::unique_ptr<ISerialDriver> driver);
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;
    ~CSerialLink();

    // Opens COM<port> exclusively with the given line format.
    bool Open(uint8_t port, uint32_t baudRate, char parity, uint8_t byteSize, uint8_t stopBits);
    void Close();
    // Close for an owner that runs no transfer on another thread (the
    // command line, one thread per port): the same steps without the pause,
    // which only gives such transfers time to return; Close waits for any
    // that hold the port in either case.
    void CloseWithoutPause();
    bool IsOpen() const;
    void ApplySettings();

    // With dropped, also how many received bytes the purge threw away.
    bool PurgeInput(uint32_t* dropped = nullptr);
    bool Write(const uint8_t* buffer, uint32_t n);
    uint32_t Read(uint8_t* buffer, uint32_t n);
    // Whether the bytes read so far make a whole reply.
    using ReplyComplete = std::function<bool(const uint8_t* bytes, uint32_t count)>;
    // Read(buffer, n) after a pause of pauseMs, taken as soon as the bytes
    // make a whole reply and no byte follows for the quiet gap that gap has
    // learned (and goes on learning); the pause and the read's own bounds end
    // it when they never do. Bytes may come during the pause. While a reply
    // streams in, once gap has learned the line, the read rests between
    // takes rather than waking for each byte: first until the reply can be
    // whole (no reply is shorter than shortest), then STREAM_NAP at a time.
    // Returns the bytes received. With already, the buffer holds the first
    // bytes of a reply that a pause cut short, and the read goes on from
    // them: what comes is added, and the interval counts from the pause's end.
    uint32_t ReadReply(uint8_t* buffer, uint32_t n, uint32_t pauseMs, CReplyGap& gap,
                       uint32_t shortest, const ReplyComplete& complete, uint32_t already = 0);
    // The time of one byte on the line as it is set.
    CReplyGap::Duration ByteTime() const;

    // Why the line itself failed, when it did: the driver's reason (a
    // connection the server closed), else what an exchange found (a port
    // that sends without pause). Said instead of "no reply". Empty: none.
    std::string LineFault() const;
    void NoteLineFault(std::string fault);

    bool Abort();
    bool ResetAbort();

    // Stores the line time-outs and hands them to the open port at once.
    bool SetTimeouts(const CommTimeouts& timeouts);

    const SerialSettings& Settings() const { return m_settings; }

    // Line-signal control; false while closed.
    bool PurgeOutput();
    bool SetBreak();
    bool ClearBreak();
    bool EscapeFunction(uint32_t code);
    bool SetDtr(uint32_t on);
    bool SetRts(uint32_t on);
    // Holds the closing signal for ms like Close, leaving the port open.
    uint32_t InterruptTransfers(uint32_t ms);
    // Nothing stays pending between calls on this driver, so there is nothing
    // to cancel: true while open.
    bool CancelPending();

    // Line errors since the last call and the queue counts; false while closed.
    bool ClearErrors(uint32_t& errors, ComStat& stat);
    uint32_t BreakDetected();
    uint32_t GetInputCount();
    // MS_ bits of the modem lines; 0 when they cannot be read.
    uint32_t GetModemStatus();
    uint32_t IsCtsOn();
    uint32_t IsDsrOn();
    uint32_t IsRingOn();
    uint32_t IsRlsdOn();

    // What is queued, at most length bytes; ReadQueuedAfter first waits t ms
    // and gives 0 when a signal comes meanwhile.
    uint32_t ReadQueued(uint8_t* buffer, uint32_t length);
    uint32_t ReadQueuedAfter(uint8_t* buffer, uint32_t length, uint32_t t);
    // Up to n bytes within t ms; ReadWithin runs the message pump between
    // attempts. Each returns the bytes received.
    uint32_t ReadTimed(uint8_t* buffer, uint32_t n, uint32_t t);
    uint32_t ReadWithin(uint8_t* buffer, uint32_t n, uint32_t t);
    uint32_t ReadByte(uint8_t* buffer, uint32_t t);
    // True when all n bytes went within t ms.
    bool WriteWithin(const uint8_t* buffer, uint32_t n, uint32_t t);
    bool WriteByte(uint8_t byte, uint32_t t);
    // Run by ReadWithin between read attempts; it should dispatch only what
    // is already queued so the deadline holds. None by default.
    void SetMessagePump(std::function<void()> pump) { m_pump = std::move(pump); }

    // The EV_ events of mask that occurred within t ms; 0 on time-out, on the
    // closing signal and on the abort signal, which it lowers.
    uint32_t WaitForEvent(uint32_t mask, uint32_t t);
    // Waits for c in the input; the wait watches for c itself, whatever
    // evtMask says, so the character given is the one honoured.
    bool WaitForChar(char c, uint32_t t);
    // Waits for input, then reads up to n bytes within a fresh t ms.
    uint32_t WaitAndRead(uint8_t* buffer, uint32_t n, uint32_t t);

    // Hardware handshake on or off; reaches the line at the next ApplySettings.
    void SetFlowControl(uint32_t on);

    // The system's text for an error number, lines broken at 80 characters.
    // Returns the text's length counting its closing zero byte, so an error
    // with no text gives an empty text and 1.
    static uint32_t GetSystemErrorText(int code, std::string& text);

    // Setters only store; the line sees them at the next ApplySettings.
    // Parity, stop bits, DTR and RTS modes keep the old value when out of range.
    void SetBaudRate(uint32_t v) { m_settings.baudRate = v; }
    uint32_t GetBaudRate() const { return m_settings.baudRate; }
    void SetByteSize(uint8_t v) { m_settings.byteSize = v; }
    uint8_t GetByteSize() const { return m_settings.byteSize; }
    void SetParity(char v);
    char GetParity() const { return m_settings.parity; }
    void SetStopBits(uint8_t v);
    uint8_t GetStopBits() const { return m_settings.stopBits; }
    void SetDtrControl(uint32_t v);
    uint32_t GetDtrControl() const { return m_settings.dtrControl; }
    void SetRtsControl(uint32_t v);
    uint32_t GetRtsControl() const { return m_settings.rtsControl; }
    void SetOutxCtsFlow(uint32_t v) { m_settings.outxCtsFlow = v; }
    uint32_t GetOutxCtsFlow() const { return m_settings.outxCtsFlow; }
    void SetOutxDsrFlow(uint32_t v) { m_settings.outxDsrFlow = v; }
    uint32_t GetOutxDsrFlow() const { return m_settings.outxDsrFlow; }
    void SetDsrSensitivity(uint32_t v) { m_settings.dsrSensitivity = v; }
    uint32_t GetDsrSensitivity() const { return m_settings.dsrSensitivity; }
    void SetOutX(uint32_t v) { m_settings.outX = v; }
    uint32_t GetOutX() const { return m_settings.outX; }
    void SetInX(uint32_t v) { m_settings.inX = v; }
    uint32_t GetInX() const { return m_settings.inX; }
    void SetTxContinueOnXoff(uint32_t v) { m_settings.txContinueOnXoff = v; }
    uint32_t GetTxContinueOnXoff() const { return m_settings.txContinueOnXoff; }
    void SetXonChar(char v) { m_settings.xonChar = v; }
    char GetXonChar() const { return m_settings.xonChar; }
    void SetXoffChar(char v) { m_settings.xoffChar = v; }
    char GetXoffChar() const { return m_settings.xoffChar; }
    void SetXonLim(uint16_t v) { m_settings.xonLim = v; }
    uint16_t GetXonLim() const { return m_settings.xonLim; }
    void SetXoffLim(uint16_t v) { m_settings.xoffLim = v; }
    uint16_t GetXoffLim() const { return m_settings.xoffLim; }
    void SetEvtChar(char v) { m_settings.evtChar = v; }
    char GetEvtChar() const { return m_settings.evtChar; }
    void SetEofChar(char v) { m_settings.eofChar = v; }
    char GetEofChar() const { return m_settings.eofChar; }

private:
    // Counts a transfer in while the port is open, so that Close can wait
    // for it before the descriptor goes.
    class Transfer;
    bool BeginTransfer();
    void EndTransfer();
    void CloseSteps(uint32_t pauseMs);
    uint32_t ReadLoop(uint8_t* buffer, uint32_t n, uint32_t t, bool pump);
    // Sleeps until the deadline or a signal (its end).
    TransferEnd RestUntil(const Deadline& until);
    // The longest a reply read rests while a reply streams in: at 9600 baud
    // about fifteen bytes taken in one wake-up, and a reply's end seen at
    // most this late (the quiet gap after it counts from its last byte, so
    // the two overlap).
    static constexpr std::chrono::milliseconds STREAM_NAP{16};

    std::function<void()> m_pump;
    std::unique_ptr<ISerialDriver> m_driver;
    SerialSettings m_settings;

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    bool m_open = false;
    int m_transfers = 0;
    std::string m_lineFault;
};
