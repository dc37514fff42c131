#include "StallingProxy.h"

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

} // namespace

StallingProxy::~StallingProxy() {
    if (m_thread.joinable()) {
        m_stopping = true;
        const uint64_t one = 1;
        (void)!write(m_wake, &one, sizeof one);
        m_thread.join();
    }
    if (m_listener >= 0) {
        close(m_listener);
    }
    if (m_wake >= 0) {
        close(m_wake);
    }
}

bool StallingProxy::Start(uint16_t target) {
    m_target = target;
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (m_wake < 0 || m_listener < 0 ||
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, 1) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
    return true;
}

void StallingProxy::Stall() {
    m_stalled = true;
    const uint64_t one = 1;
    (void)!write(m_wake, &one, sizeof one);
}

bool StallingProxy::Forward(int from, int to) {
    uint8_t buffer[4096];
    const ssize_t got = read(from, buffer, sizeof buffer);
    if (got <= 0) {
        return false;
    }
    return write(to, buffer, size_t(got)) == got;
}

void StallingProxy::Run() {
    pollfd accepting[2] = {{m_listener, POLLIN, 0}, {m_wake, POLLIN, 0}};
    if (poll(accepting, 2, -1) <= 0 || !(accepting[0].revents & POLLIN)) {
        return;
    }
    const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(m_target);
    bool open = client >= 0 && server >= 0 &&
                connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    while (open && !m_stopping) {
        // Stalled, it watches the wake descriptor alone.
        const bool stalled = m_stalled;
        pollfd fds[3] = {{m_wake, POLLIN, 0},
                         {stalled ? -1 : client, POLLIN, 0},
                         {stalled ? -1 : server, POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            break;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t value = 0;
            (void)!read(m_wake, &value, sizeof value);
            continue;
        }
        if (fds[1].revents != 0) {
            open = Forward(client, server);
        }
        if (open && fds[2].revents != 0) {
            open = Forward(server, client);
        }
    }
    // Held open until the end, so that nothing but silence reaches either side.
    while (!m_stopping) {
        pollfd wake{m_wake, POLLIN, 0};
        poll(&wake, 1, -1);
        uint64_t value = 0;
        (void)!read(m_wake, &value, sizeof value);
    }
    if (client >= 0) {
        close(client);
    }
    if (server >= 0) {
        close(server);
    }
}
