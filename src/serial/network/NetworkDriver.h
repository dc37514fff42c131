#pragma once

#include "GensioConnection.h"
#include "NetworkTarget.h"
#include "TimedDriver.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A port on another host: RFC 2217 (telnet COM-PORT-OPTION) to a ser2net
// there, through gensio. To CSerialLink it is TermiosDriver: the same line
// time-outs, the same ends of every transfer, the same two signals waking
// every wait at once; each wait sleeps once, until its own deadline.
//
// What the server is asked (line format, modem lines, purges) it answers in
// the byte stream; some servers leave some requests unanswered, so a request
// waits for its answer only a few of the connection's round trips and the
// line goes on without it.
// A purge, before every exchange, waits for nothing: its answer is followed
// while the exchange goes on, so that an exchange costs one round trip.
// What a trace should show about that, and why a connection ended, the
// driver keeps as notes and a reason.
class NetworkDriver final : public TimedDriver {
public:
    // How long a request waits for the server's answer: ANSWER_ROUND_TRIPS
    // of the longest round trip measured on the connection (its opening, the
    // answers that came), within MIN_ANSWER_WAIT_MS and ANSWER_WAIT_MS. On
    // the loopback or a LAN an answer takes well under a millisecond and on a
    // slow WAN link a few hundred; a server that has not answered by then is
    // taken not to answer that kind of request at all: the line goes on, a
    // note says so, and later requests of that kind on the same connection
    // are not waited for.
    static constexpr uint32_t ANSWER_WAIT_MS = 500;
    static constexpr uint32_t MIN_ANSWER_WAIT_MS = 50;
    static constexpr uint32_t ANSWER_ROUND_TRIPS = 8;
    // How long OpenDevice waits for the connection, the server's telnet
    // answer included (gensio gives a silent server 4 s to agree to RFC 2217).
    static constexpr uint32_t CONNECT_WAIT_MS = 5000;

    explicit NetworkDriver(NetworkTarget target);
    ~NetworkDriver() override;

    // Connects to the target within CONNECT_WAIT_MS; the COM number is not
    // used. Unlike a transfer it does not end at a signal: an abort left
    // raised by an earlier transfer must not fail an open, local or not.
    bool OpenDevice(uint8_t port) override;
    void CloseDevice() override;
    // Requests to the server: the line format and the modem lines and break
    // (XOFF and XON have none, and fail), each waited for as Ask says; a
    // purge waits for nothing.
    bool SetState(const Dcb& dcb) override;
    bool EscapeFunction(uint32_t code) override;
    bool Purge(uint32_t flags) override;
    // The line as the connection holds it and the server reports it: the
    // queues, line errors and breaks, modem lines, and the events among them.
    bool ClearErrors(uint32_t& errors, ComStat& stat) override;
    bool GetModemStatus(uint32_t& status) override;
    TransferEnd WaitEvent(uint32_t mask, char evtChar, uint32_t ms, uint32_t& events) override;

    const NetworkTarget& Target() const { return m_target; }
    // The wait for an answer on the connection as measured so far.
    uint32_t AnswerWaitMs() const;
    // Why the last open failed ("cannot connect to HOST:PORT: ...") or the
    // connection ended ("the server closed the connection"); empty while
    // neither happened.
    std::string Reason() const;
    std::string FailureReason() const override { return Reason(); }
    // What a trace should show (unanswered requests, answers that differ
    // from the request), oldest first, each given once. Reason and TakeNotes
    // may be called from any thread.
    std::vector<std::string> TakeNotes() override;

private:
    struct Request {
        ServerRequest kind;
        unsigned value;
    };
    // Sends the requests and waits for their answers until AnswerWaitMs()
    // has passed or a signal came; false when the server refused one or
    // set another value.
    bool Ask(const std::vector<Request>& requests);
    // What an answer says about its request: true when the server did as
    // asked; otherwise a note says what it did.
    bool TakeAnswer(const Request& r, const GensioConnection::Answer& answer);
    // Notes that the server left a kind of request unanswered, which is then
    // no longer waited for on this connection.
    void NoteSilence(ServerRequest kind, uint32_t waitedMs);
    // Notes, once its answer came or its wait is over, what the purge that
    // is followed came to.
    void FollowUpPurge();
    void Note(const std::string& text);

    // The line's steps: the connection's queues, which wake every waiter
    // whichever way they changed.
    bool LineOpen() const override { return m_connection != nullptr; }
    LineStep Take(uint8_t* buffer, uint32_t n) override;
    LineStep Put(const uint8_t* buffer, uint32_t n) override;
    TransferEnd WaitInput(int wake, const Deadline& until, bool& hungUp) override;
    TransferEnd WaitOutput(int wake, const Deadline& until) override;
    bool LineEnded() override { return ConnectionEnded(); }
    WakeList* TransferWaiters() override { return &m_connection->Waiters(); }
    // Sleeps until the connection changes (wake, -1 for none), the deadline
    // or (withSignals) a signal: Complete, or the signal's end, or Failed.
    TransferEnd Wait(int wake, const Deadline& deadline, bool withSignals = true) const;
    // The end of a transfer on a connection that ended; the reason says why.
    bool ConnectionEnded();

    const NetworkTarget m_target;
    std::unique_ptr<GensioConnection> m_connection;

    mutable std::mutex m_noteMutex;
    std::string m_reason;
    std::vector<std::string> m_notes;
    // Kinds of request the server left unanswered on this connection.
    std::array<std::atomic<bool>, SERVER_REQUEST_KINDS> m_silent{};
    // The purge whose answer is followed (ticket 0: none), one at a time.
    struct FollowedPurge {
        uint64_t ticket = 0;
        unsigned value = 0;
        Deadline by = Deadline::Never();
        uint32_t waitMs = 0;
    };
    FollowedPurge m_lastPurge;
    // Said once per connection: the server refused RFC 2217 altogether.
    std::atomic<bool> m_refusalNoted{false};

    // The longest round trip measured on the connection, in microseconds.
    std::atomic<int64_t> m_roundTripUs{0};
    void SeeRoundTrip(Deadline::Clock::duration took);

    // Bytes received that an event wait has looked through for its character.
    std::atomic<uint64_t> m_scanned{0};
};
