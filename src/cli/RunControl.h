#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

// Interruption of a whole run: every port's running flag (the one its loop
// checks before each slot or line, as the window's Cancel clears it) drops
// to 0 at once, and flags registered later start at 0.
class CRunControl {
public:
    void Interrupt();
    bool Interrupted() const { return m_interrupted.load(); }

    void Register(std::atomic<int32_t>& running);
    void Unregister(std::atomic<int32_t>& running);

private:
    std::atomic<bool> m_interrupted{false};
    std::mutex m_mutex;
    std::vector<std::atomic<int32_t>*> m_flags;
};

// A running flag registered for as long as it lives.
class CRunningFlag {
public:
    explicit CRunningFlag(CRunControl& control) : m_control(control) { m_control.Register(m_flag); }
    ~CRunningFlag() { m_control.Unregister(m_flag); }
    CRunningFlag(const CRunningFlag&) = delete;
    CRunningFlag& operator=(const CRunningFlag&) = delete;

    std::atomic<int32_t>& Flag() { return m_flag; }

private:
    CRunControl& m_control;
    std::atomic<int32_t> m_flag{1};
};
