#pragma once

#include "NetworkTarget.h"
#include "WakeList.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct gensio;
struct gensio_frdata;
struct gensio_iod;
struct gensio_os_funcs;
struct gensio_timer;
struct gensio_waiter;
struct sergensio;

// The RFC 2217 requests a server answers, each with the value it took.
enum class ServerRequest { Baud, DataSize, Parity, StopBits, FlowControl, Dtr, Rts, Break, Purge };
inline constexpr size_t SERVER_REQUEST_KINDS = 9;

// One telnet(rfc2217) connection through gensio, and the thread that runs
// gensio's event loop for it, on an OS-functions object of its own.
//
// Only that thread calls gensio: the transfer threads hand it work (Post)
// through an eventfd the loop watches, and meet it in the queues and
// answers below, guarded by one mutex. Whenever one of them changes, the
// loop wakes every thread in Waiters(). So gensio needs no wake signal
// between threads, and a transfer's wait is its own (its deadline, its
// signals), never gensio's.
class GensioConnection {
public:
    // What the queues hold at most: the output as a tty's buffer would, the
    // input well beyond any reply (beyond it the server is held back).
    static constexpr size_t OUTPUT_LIMIT = 4096;
    static constexpr size_t INPUT_LIMIT = 65536;
    // gensio's close first hands the server what gensio still holds for it,
    // which never happens on a network that stopped carrying anything.
    // After this long the connection is dropped as it stands; what the
    // kernel holds it still sends.
    static constexpr uint32_t CLOSE_WAIT_MS = 500;
    // gensio lets go of a dropped connection while requests are still
    // unanswered at its next request tick, once a second; the loop waits
    // for that rather than leave its memory behind, but no longer than this.
    static constexpr uint32_t FREE_WAIT_MS = 1200;
    // How long an open waits for the server's report of the modem lines
    // before it takes the connection as open; a refusal comes well within.
    static constexpr uint32_t OPEN_GRACE_MS = 100;

    explicit GensioConnection(const NetworkTarget& target);
    // Closes the connection, within CLOSE_WAIT_MS (and on a dropped
    // connection gensio's FREE_WAIT_MS), and ends the thread.
    ~GensioConnection();
    GensioConnection(const GensioConnection&) = delete;
    GensioConnection& operator=(const GensioConnection&) = delete;

    // Starts the thread and the connect; false, with Failure() set, when
    // gensio cannot even begin.
    bool Start();

    enum class Phase { Connecting, Open, Ended };
    Phase CurrentPhase() const;
    // Why the connect failed or the connection ended, in gensio's words or ours.
    std::string Failure() const;

    size_t TakeInput(uint8_t* buffer, size_t n);
    size_t InputCount() const;
    // Bytes received since the start; InputHoldsSince looks for c among the
    // bytes still queued that came after the first `since` of them.
    uint64_t ReceivedTotal() const;
    bool InputHoldsSince(uint64_t since, uint8_t c) const;

    // Queues up to n bytes for the server, as many as fit.
    size_t PutOutput(const uint8_t* buffer, size_t n);
    size_t OutputCount() const;

    // Sends a request; its ticket tells its answer. A Purge drops the local
    // queues it names at once (the output on the loop, between writes) and
    // the input again when the server answers, since the bytes before its
    // answer were sent before the server purged. Without awaitAnswer the
    // answer is not followed (gensio keeps a record for every request whose
    // answer it is to report, until the answer or its own time-out).
    uint64_t Send(ServerRequest kind, unsigned value, bool awaitAnswer = true);
    struct Answer {
        bool came = false;
        int error = 0;      // gensio's, 0 when the server answered
        unsigned value = 0; // what the server says it set
    };
    Answer AnswerTo(ServerRequest kind, uint64_t ticket) const;

    // The last modem state the server reported (SERGENSIO_MODEMSTATE bits).
    bool ModemState(unsigned& state) const;
    // Line-state reports of errors and breaks since the start.
    struct LineReports {
        uint64_t errors = 0;
        uint64_t breaks = 0;
    };
    LineReports Reports() const;
    // The SERGENSIO_LINESTATE bits of every report since the last call.
    unsigned TakeLineState();

    WakeList& Waiters() { return m_waiters; }

private:
    struct RequestSlot {
        GensioConnection* owner = nullptr;
        ServerRequest kind = ServerRequest::Baud;
        uint64_t sent = 0;
        uint64_t answered = 0;
        Answer last;
    };

    void Post(std::function<void()> work);
    void RunLoop();
    // On the loop thread.
    void RunPosted();
    void BeginConnect();
    void BeginClose();
    void FinishClose();
    // Lets the loop end once gensio has let go of the posted descriptor.
    void EndLoop();
    void FlushOutput();
    void ResumeInput();
    void SendOnLoop(ServerRequest kind, unsigned value, bool awaitAnswer);
    void End(const std::string& why);
    // Ends on gensio's error: the server's close, or a failure in its words.
    void EndAfter(int err);
    // A close before the open finished that is the server's refusal of a
    // client while another has the port (loop thread).
    bool RefusedAsBusy(int err) const;
    void Answered(ServerRequest kind, int error, unsigned value);
    int OnEvent(int event, int err, unsigned char* buf, unsigned long* buflen);
    size_t StoreInput(const unsigned char* buf, size_t len);

    static int EventHandler(gensio* io, void* user, int event, int err, unsigned char* buf,
                            unsigned long* buflen, const char* const* auxdata);
    static void OpenDone(gensio* io, int err, void* data);
    static void CloseDone(gensio* io, void* data);
    static void CloseOverdue(gensio_timer* timer, void* data);
    static void OpenGraceOver(gensio_timer* timer, void* data);
    void MarkOpen();
    static void FreeOverdue(gensio_timer* timer, void* data);
    static void IoFreed(gensio* io, gensio_frdata* frdata);
    static void PostedReady(gensio_iod* iod, void* data);
    static void PostedCleared(gensio_iod* iod, void* data);
    static void RequestDone(sergensio* sio, int err, unsigned value, void* data);

    const NetworkTarget m_target;
    WakeList m_waiters;

    gensio_os_funcs* m_os = nullptr;
    gensio_waiter* m_stopped = nullptr; // woken when the loop may end
    gensio_iod* m_postedIod = nullptr;
    int m_postedFd = -1;
    gensio_timer* m_closeTimer = nullptr;
    gensio_timer* m_freeTimer = nullptr;
    gensio_timer* m_openTimer = nullptr;
    // What gensio calls when it has freed the connection.
    struct FreedNotice;
    std::unique_ptr<FreedNotice> m_freed;
    // Loop thread only.
    gensio* m_io = nullptr;
    bool m_opened = false;
    bool m_reading = true;
    bool m_closed = false;
    bool m_loopEnding = false;
    std::thread m_loop;

    mutable std::mutex m_mutex;
    std::vector<std::function<void()>> m_posted;
    Phase m_phase = Phase::Connecting;
    std::string m_failure;
    std::deque<uint8_t> m_input;
    uint64_t m_received = 0;
    std::deque<uint8_t> m_output;
    bool m_flushPosted = false;
    bool m_inputHeld = false;
    std::array<RequestSlot, SERVER_REQUEST_KINDS> m_requests;
    bool m_modemKnown = false;
    unsigned m_modemState = 0;
    LineReports m_reports;
    unsigned m_lineState = 0;
};
