#include "WorkEvent.h"

void CAutoResetEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_bSignalled = true;
    }
    m_cond.notify_one();
}

void CAutoResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_bSignalled = false;
}

void CAutoResetEvent::Wait() {
    std::unique_lock lock(m_mutex);
    m_cond.wait(lock, [this] { return m_bSignalled; });
    m_bSignalled = false;
}

bool CAutoResetEvent::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_cond.wait_for(lock, timeout, [this] { return m_bSignalled; })) {
        return false;
    }
    m_bSignalled = false;
    return true;
}
