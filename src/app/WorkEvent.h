#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// An auto-reset event: Set releases one waiter (or the next one to wait) and
// the event drops back to unsignalled as that waiter goes.
class CAutoResetEvent {
public:
    explicit CAutoResetEvent(bool initiallySet = false) : m_bSignalled(initiallySet) {}
    CAutoResetEvent(const CAutoResetEvent&) = delete;
    CAutoResetEvent& operator=(const CAutoResetEvent&) = delete;

    void Set();
    void Reset();
    void Wait();
    // False when the time ran out unsignalled.
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_bSignalled;
};
