#include "RunControl.h"

#include <algorithm>

void CRunControl::Interrupt() {
    std::lock_guard lock(m_mutex);
    m_interrupted = true;
    for (std::atomic<int32_t>* flag : m_flags) {
        flag->store(0);
    }
}

void CRunControl::Register(std::atomic<int32_t>& running) {
    std::lock_guard lock(m_mutex);
    if (m_interrupted) {
        running.store(0);
    }
    m_flags.push_back(&running);
}

void CRunControl::Unregister(std::atomic<int32_t>& running) {
    std::lock_guard lock(m_mutex);
    m_flags.erase(std::remove(m_flags.begin(), m_flags.end(), &running), m_flags.end());
}
