#include "GensioConnection.h"

#include <gensio/gensio.h>
#include <gensio/gensio_unix.h>
#include <gensio/sergensio.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <string_view>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

static_assert(std::is_same_v<gensiods, unsigned long>);

namespace {

// The modem lines and line errors the server is asked to report.
constexpr unsigned MODEM_STATE_MASK = 0xFF;
constexpr unsigned LINE_STATE_MASK = SERGENSIO_LINESTATE_OVERRUN_ERR |
                                     SERGENSIO_LINESTATE_PARITY_ERR |
                                     SERGENSIO_LINESTATE_FRAMING_ERR | SERGENSIO_LINESTATE_BREAK;
std::string GensioText(int err) {
    return gensio_err_to_str(err);
}

// A write to a connection the server has reset raises SIGPIPE, which would
// end the program: the loop thread keeps it blocked (every socket write is
// made there), and a pending one dies with the thread.
void BlockSigpipe() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

} // namespace

// Owner after gensio's record, so that the record gensio hands back leads to it.
struct GensioConnection::FreedNotice {
    gensio_frdata notice{};
    GensioConnection* owner = nullptr;
};

GensioConnection::GensioConnection(const NetworkTarget& target)
    : m_target(target), m_freed(std::make_unique<FreedNotice>()) {
    m_freed->notice.freed = IoFreed;
    m_freed->owner = this;
    for (size_t i = 0; i < m_requests.size(); ++i) {
        m_requests[i].owner = this;
        m_requests[i].kind = static_cast<ServerRequest>(i);
    }
}

namespace {

// gensio 2.6 keeps state of its own (the classes it registered) tied to the
// OS functions it was first given; freeing them crashes the next connection
// of the process. So OS functions are never freed: a connection that ends
// returns its own here, and the next one takes them again. The process
// holds as many as it ever had connections at once.
std::mutex g_osMutex;
// Never destroyed, so that what it holds stays reachable to the end.
std::vector<gensio_os_funcs*>& g_idleOs = *new std::vector<gensio_os_funcs*>();

int TakeOsFuncs(gensio_os_funcs*& os) {
    {
        std::lock_guard lock(g_osMutex);
        if (!g_idleOs.empty()) {
            os = g_idleOs.back();
            g_idleOs.pop_back();
            return 0;
        }
    }
    // No wake signal: only the loop thread calls gensio, so gensio never
    // has to wake a thread sleeping in its selector from another one.
    return gensio_unix_funcs_alloc(nullptr, 0, &os);
}

void ReturnOsFuncs(gensio_os_funcs* os) {
    std::lock_guard lock(g_osMutex);
    g_idleOs.push_back(os);
}

// A server that closes a client during its telnet greeting may have said
// why, which gensio drops with the unfinished open. ser2net says "Port
// already in use" to every client while another has the port, so one plain
// look within PROBE_WAIT_MS tells a busy port from other refusals.
constexpr int PROBE_WAIT_MS = 500;
constexpr std::string_view BUSY_TEXT = "busy: the server says the port is already in use";

bool ServerSaysInUse(const NetworkTarget& target) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(target.host.c_str(), std::to_string(target.port).c_str(), &hints, &found) !=
        0) {
        return false;
    }
    const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = fd >= 0 && connect(fd, found->ai_addr, found->ai_addrlen) == 0;
    freeaddrinfo(found);
    std::string said;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(PROBE_WAIT_MS);
    while (connected && said.find("already in use") == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        char buffer[256];
        ssize_t n = 0;
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0 ||
            (n = recv(fd, buffer, sizeof buffer, 0)) <= 0) {
            break;
        }
        said.append(buffer, static_cast<size_t>(n));
    }
    if (fd >= 0) {
        close(fd);
    }
    return said.find("already in use") != std::string::npos;
}

// gensio 2.6 sets up shared state of its own, a lock among it, on the first
// connection it makes, without guarding that against a second connection
// made at the same moment on another thread (ThreadSanitizer saw two ports
// opened at once race on it). So connections are made one at a time.
std::mutex g_connectMutex;

} // namespace

GensioConnection::~GensioConnection() {
    if (m_loop.joinable()) {
        Post([this] { BeginClose(); });
        m_loop.join();
    }
    for (gensio_timer* timer : {m_closeTimer, m_freeTimer, m_openTimer}) {
        if (timer != nullptr) {
            gensio_os_funcs_free_timer(m_os, timer);
        }
    }
    if (m_stopped != nullptr) {
        gensio_os_funcs_free_waiter(m_os, m_stopped);
    }
    if (m_os != nullptr) {
        ReturnOsFuncs(m_os);
    }
    if (m_postedFd >= 0 && m_postedIod == nullptr) {
        close(m_postedFd); // never handed to gensio
    }
}

bool GensioConnection::Start() {
    int err = TakeOsFuncs(m_os);
    if (err == 0) {
        m_stopped = gensio_os_funcs_alloc_waiter(m_os);
        err = m_stopped == nullptr ? GE_NOMEM : 0;
    }
    m_postedFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (err == 0 && m_postedFd < 0) {
        err = GE_OSERR;
    }
    if (err == 0) {
        err = m_os->add_iod(m_os, GENSIO_IOD_PIPE, m_postedFd, &m_postedIod);
    }
    if (err == 0) {
        err =
            m_os->set_fd_handlers(m_postedIod, this, PostedReady, nullptr, nullptr, PostedCleared);
        if (err != 0) {
            m_os->release_iod(m_postedIod);
            m_postedIod = nullptr;
        }
    }
    if (err != 0) {
        End(GensioText(err));
        return false;
    }
    m_os->set_read_handler(m_postedIod, true);
    m_loop = std::thread([this] { RunLoop(); });
    Post([this] { BeginConnect(); });
    return true;
}

void GensioConnection::RunLoop() {
    BlockSigpipe();
    gensio_os_funcs_wait(m_os, m_stopped, 1, nullptr);
}

void GensioConnection::Post(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(work));
    }
    const uint64_t one = 1;
    (void)!write(m_postedFd, &one, sizeof one);
}

void GensioConnection::PostedReady(gensio_iod*, void* data) {
    static_cast<GensioConnection*>(data)->RunPosted();
}

void GensioConnection::RunPosted() {
    uint64_t count = 0;
    (void)!read(m_postedFd, &count, sizeof count);
    std::vector<std::function<void()>> work;
    {
        std::lock_guard lock(m_mutex);
        work.swap(m_posted);
    }
    for (const auto& step : work) {
        step();
    }
}

void GensioConnection::BeginConnect() {
    std::unique_lock lock(g_connectMutex);
    int err = str_to_gensio(GensioConnectString(m_target).c_str(), m_os, EventHandler, this, &m_io);
    if (err == 0) {
        gensio_set_frdata(m_io, &m_freed->notice);
        err = gensio_open(m_io, OpenDone, this);
        lock.unlock();
        if (err != 0) {
            gensio_set_frdata(m_io, nullptr); // the loop goes on to its close
            gensio_free(m_io);
            m_io = nullptr;
        }
    }
    if (err != 0) {
        End(GensioText(err));
    }
}

void GensioConnection::OpenDone(gensio* io, int err, void* data) {
    auto* self = static_cast<GensioConnection*>(data);
    if (err != 0) {
        self->End(self->RefusedAsBusy(err) ? std::string(BUSY_TEXT) : GensioText(err));
        return;
    }
    self->m_opened = true;
    gensio_set_read_callback_enable(io, true);
    sergensio* sio = gensio_to_sergensio(io);
    if (sio != nullptr) {
        sergensio_modemstate(sio, MODEM_STATE_MASK);
        sergensio_linestate(sio, LINE_STATE_MASK);
    }
    // Open once the server reports its modem lines, or OPEN_GRACE_MS on: a
    // server that refuses the client says so right after its greeting and
    // closes, and never reports them.
    self->m_openTimer = gensio_os_funcs_alloc_timer(self->m_os, OpenGraceOver, self);
    gensio_time grace{0, static_cast<int32_t>(OPEN_GRACE_MS * 1'000'000)};
    if (self->m_openTimer == nullptr ||
        gensio_os_funcs_start_timer(self->m_os, self->m_openTimer, &grace) != 0) {
        self->MarkOpen();
    }
}

void GensioConnection::OpenGraceOver(gensio_timer*, void* data) {
    static_cast<GensioConnection*>(data)->MarkOpen();
}

void GensioConnection::MarkOpen() {
    {
        std::lock_guard lock(m_mutex);
        if (m_phase == Phase::Connecting) {
            m_phase = Phase::Open;
        }
    }
    m_waiters.WakeAll();
}

void GensioConnection::BeginClose() {
    End("the connection was closed");
    if (m_io == nullptr || gensio_close(m_io, CloseDone, this) != 0) {
        FinishClose(); // never opened: nothing to close
        return;
    }
    m_closeTimer = gensio_os_funcs_alloc_timer(m_os, CloseOverdue, this);
    gensio_time wait{0, static_cast<int32_t>(CLOSE_WAIT_MS * 1'000'000)};
    if (m_closeTimer == nullptr || gensio_os_funcs_start_timer(m_os, m_closeTimer, &wait) != 0) {
        CloseOverdue(m_closeTimer, this);
    }
}

void GensioConnection::CloseDone(gensio*, void* data) {
    static_cast<GensioConnection*>(data)->FinishClose();
}

void GensioConnection::CloseOverdue(gensio_timer*, void* data) {
    auto* self = static_cast<GensioConnection*>(data);
    if (self->m_io != nullptr && !self->m_closed) {
        // Every layer is marked closed and the socket closed at once; no
        // gensio callback runs meanwhile, as this is the only thread in it.
        gensio_disable(self->m_io);
    }
    self->FinishClose();
}

void GensioConnection::FinishClose() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    for (gensio_timer* timer : {m_closeTimer, m_openTimer}) {
        if (timer != nullptr) {
            gensio_os_funcs_stop_timer(m_os, timer);
        }
    }
    if (m_io == nullptr) {
        EndLoop();
        return;
    }
    // IoFreed ends the loop, at once or when gensio's last step is done.
    gensio* io = m_io;
    m_io = nullptr;
    gensio_free(io);
    if (!m_loopEnding) {
        m_freeTimer = gensio_os_funcs_alloc_timer(m_os, FreeOverdue, this);
        gensio_time wait{0, static_cast<int32_t>(FREE_WAIT_MS * 1'000'000)};
        if (m_freeTimer == nullptr || gensio_os_funcs_start_timer(m_os, m_freeTimer, &wait) != 0) {
            EndLoop();
        }
    }
}

void GensioConnection::IoFreed(gensio*, gensio_frdata* frdata) {
    reinterpret_cast<FreedNotice*>(frdata)->owner->EndLoop();
}

void GensioConnection::FreeOverdue(gensio_timer*, void* data) {
    static_cast<GensioConnection*>(data)->EndLoop();
}

void GensioConnection::EndLoop() {
    if (m_loopEnding) {
        return;
    }
    m_loopEnding = true;
    if (m_freeTimer != nullptr) {
        gensio_os_funcs_stop_timer(m_os, m_freeTimer);
    }
    m_os->clear_fd_handlers(m_postedIod);
}

void GensioConnection::PostedCleared(gensio_iod*, void* data) {
    auto* self = static_cast<GensioConnection*>(data);
    self->m_os->close(&self->m_postedIod); // closes m_postedFd as well
    self->m_postedFd = -1;
    gensio_os_funcs_wake(self->m_os, self->m_stopped);
}

void GensioConnection::End(const std::string& why) {
    {
        std::lock_guard lock(m_mutex);
        if (m_phase == Phase::Ended) {
            return;
        }
        m_phase = Phase::Ended;
        m_failure = why;
    }
    m_waiters.WakeAll();
}

bool GensioConnection::RefusedAsBusy(int err) const {
    if (err != GE_REMCLOSE) {
        return false;
    }
    if (m_opened) { // the refusal came as the first bytes of an open connection
        static constexpr std::string_view IN_USE = "already in use";
        std::lock_guard lock(m_mutex);
        return m_received == m_input.size() &&
               std::search(m_input.begin(), m_input.end(), IN_USE.begin(), IN_USE.end()) !=
                   m_input.end();
    }
    return ServerSaysInUse(m_target);
}

void GensioConnection::EndAfter(int err) {
    if (RefusedAsBusy(err)) {
        End(std::string(BUSY_TEXT));
        return;
    }
    End(err == GE_REMCLOSE ? "the server closed the connection"
                           : "the connection failed: " + GensioText(err));
}

GensioConnection::Phase GensioConnection::CurrentPhase() const {
    std::lock_guard lock(m_mutex);
    return m_phase;
}

std::string GensioConnection::Failure() const {
    std::lock_guard lock(m_mutex);
    return m_failure;
}

int GensioConnection::EventHandler(gensio*, void* user, int event, int err, unsigned char* buf,
                                   unsigned long* buflen, const char* const*) {
    return static_cast<GensioConnection*>(user)->OnEvent(event, err, buf, buflen);
}

int GensioConnection::OnEvent(int event, int err, unsigned char* buf, unsigned long* buflen) {
    switch (event) {
    case GENSIO_EVENT_READ:
        if (err != 0) {
            EndAfter(err);
            gensio_set_read_callback_enable(m_io, false);
            gensio_set_write_callback_enable(m_io, false);
            return 0;
        }
        *buflen = StoreInput(buf, *buflen);
        return 0;
    case GENSIO_EVENT_WRITE_READY:
        FlushOutput();
        return 0;
    case GENSIO_EVENT_SER_MODEMSTATE: {
        std::lock_guard lock(m_mutex);
        m_modemKnown = true;
        m_modemState = *reinterpret_cast<const unsigned*>(buf);
    }
        MarkOpen();
        return 0;
    case GENSIO_EVENT_SER_LINESTATE: {
        const unsigned state = *reinterpret_cast<const unsigned*>(buf);
        std::lock_guard lock(m_mutex);
        m_lineState |= state;
        if (state & (SERGENSIO_LINESTATE_OVERRUN_ERR | SERGENSIO_LINESTATE_PARITY_ERR |
                     SERGENSIO_LINESTATE_FRAMING_ERR)) {
            ++m_reports.errors;
        }
        if (state & SERGENSIO_LINESTATE_BREAK) {
            ++m_reports.breaks;
        }
    }
        m_waiters.WakeAll();
        return 0;
    case GENSIO_EVENT_SER_FLUSH:
        // On a client this is the server's answer to a purge.
        Answered(ServerRequest::Purge, 0, *reinterpret_cast<const unsigned*>(buf));
        return 0;
    default:
        return GE_NOTSUP;
    }
}
