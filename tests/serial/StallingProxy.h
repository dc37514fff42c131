#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

// A TCP proxy on a loopback port that passes one connection on to
// 127.0.0.1:target both ways until Stall(); from then on it forwards
// nothing and reads nothing, and keeps both connections open, as a network
// that stopped carrying packets would.
class StallingProxy {
public:
    StallingProxy() = default;
    ~StallingProxy();
    StallingProxy(const StallingProxy&) = delete;
    StallingProxy& operator=(const StallingProxy&) = delete;

    bool Start(uint16_t target);
    void Stall();
    uint16_t Port() const { return m_port; }

private:
    void Run();
    // Passes what one side has on to the other; false when either closed.
    static bool Forward(int from, int to);

    uint16_t m_target = 0;
    uint16_t m_port = 0;
    int m_listener = -1;
    int m_wake = -1; // eventfd: stall or stop
    std::atomic<bool> m_stalled{false};
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
