#include "LoopbackProxy.h"

#include "DeadlineWait.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// Small writes go at once: a delay is the proxy's to add, not Nagle's.
void SendAtOnce(int fd) {
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int ConnectLoopback(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return fd;
    }
    if (fd >= 0) {
        close(fd);
    }
    return -1;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += size_t(put);
    }
    return true;
}

void DrainWake(int wake) {
    uint64_t value = 0;
    (void)!read(wake, &value, sizeof value);
}

struct Chunk {
    Clock::time_point due;
    std::vector<uint8_t> bytes;
};

// One way of a connection: what was read from one side, each chunk waiting
// for its time to be written to the other.
struct Way {
    int from;
    int to;
    std::deque<Chunk> waiting;
    bool ended = false; // nothing more comes from `from`
};

// When the first waiting chunk comes due; never while none waits. To the
// nanosecond: a poll's millisecond time-out would hold each chunk up to a
// millisecond longer than the one before, and so open gaps inside a reply
// that the far end never left.
Deadline FirstDue(const Way (&ways)[2]) {
    Deadline first = Deadline::Never();
    for (const Way& way : ways) {
        if (!way.waiting.empty()) {
            first = first.Earlier(Deadline::At(way.waiting.front().due));
        }
    }
    return first;
}

} // namespace

LoopbackProxy::~LoopbackProxy() {
    if (m_thread.joinable()) {
        m_stopping = true;
        Wake();
        m_thread.join();
    }
    if (m_listener >= 0) {
        close(m_listener);
    }
    if (m_wake >= 0) {
        close(m_wake);
    }
}

bool LoopbackProxy::Start(uint16_t target, std::chrono::milliseconds delay) {
    m_target = target;
    m_delay = delay;
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (m_wake < 0 || m_listener < 0 ||
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, 4) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
    return true;
}

void LoopbackProxy::Stall() {
    m_stalled = true;
    Wake();
}

std::string LoopbackProxy::Url() const {
    return "rfc2217://127.0.0.1:" + std::to_string(m_port);
}

bool LoopbackProxy::Wake() {
    const uint64_t one = 1;
    return write(m_wake, &one, sizeof one) == sizeof one;
}

void LoopbackProxy::Run() {
    while (!m_stopping) {
        // A stalled network takes no new connection either.
        pollfd fds[2] = {{m_wake, POLLIN, 0}, {m_stalled ? -1 : m_listener, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[0].revents & POLLIN) {
            DrainWake(m_wake);
            continue;
        }
        if (fds[1].revents & POLLIN) {
            const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                Serve(client);
            }
        }
    }
}

void LoopbackProxy::Serve(int client) {
    const int server = ConnectLoopback(m_target);
    if (server < 0) {
        close(client);
        return;
    }
    SendAtOnce(client);
    SendAtOnce(server);
    Way ways[2] = {{client, server, {}, false}, {server, client, {}, false}};
    bool open = true;
    while (open && !m_stopping) {
        // Stalled, it watches the wake descriptor alone, and holds both
        // connections open until the proxy stops, so that nothing but
        // silence reaches either side.
        const bool stalled = m_stalled;
        pollfd fds[3] = {{m_wake, POLLIN, 0},
                         {stalled || ways[0].ended ? -1 : client, POLLIN, 0},
                         {stalled || ways[1].ended ? -1 : server, POLLIN, 0}};
        if (PollUntil(fds, 3, stalled ? Deadline::Never() : FirstDue(ways)) < 0 && errno != EINTR) {
            break;
        }
        if (fds[0].revents & POLLIN) {
            DrainWake(m_wake);
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i + 1].revents == 0) {
                continue;
            }
            uint8_t buffer[4096];
            const ssize_t got = read(ways[i].from, buffer, sizeof buffer);
            if (got > 0) {
                ways[i].waiting.push_back({Clock::now() + m_delay, {buffer, buffer + got}});
            } else if (got == 0 || errno != EINTR) {
                ways[i].ended = true;
            }
        }
        if (stalled) {
            continue;
        }
        const auto now = Clock::now();
        for (Way& way : ways) {
            while (open && !way.waiting.empty() && way.waiting.front().due <= now) {
                open = WriteAll(way.to, way.waiting.front().bytes);
                way.waiting.pop_front();
            }
            // One side gone, and all it said passed on: the connection ends.
            open = open && !(way.ended && way.waiting.empty());
        }
    }
    close(client);
    close(server);
}
