#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

// A TCP proxy on a free loopback port that passes each connection it takes,
// one after the other, on to 127.0.0.1:target, both ways, every chunk after
// the delay it was given, as a longer network would. After Stall() it
// forwards nothing and reads nothing, and keeps both connections open, as a
// network that stopped carrying packets would.
class LoopbackProxy {
public:
    LoopbackProxy() = default;
    ~LoopbackProxy();
    LoopbackProxy(const LoopbackProxy&) = delete;
    LoopbackProxy& operator=(const LoopbackProxy&) = delete;

    bool Start(uint16_t target, std::chrono::milliseconds delay = {});
    void Stall();
    uint16_t Port() const { return m_port; }
    // "rfc2217://127.0.0.1:PORT".
    std::string Url() const;

private:
    void Run();
    // Carries one connection until either side ends it or the proxy stops.
    void Serve(int client);
    bool Wake();

    uint16_t m_target = 0;
    std::chrono::milliseconds m_delay{0};
    uint16_t m_port = 0;
    int m_listener = -1;
    int m_wake = -1; // eventfd: stall or stop
    std::atomic<bool> m_stalled{false};
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
