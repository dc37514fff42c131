#pragma once

#include "PortSession.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// While a learn waits, on a terminal: "COM21: press the key on the remote
// now, 2.4 s left" (or another asking) on the port's row, counted down in
// place, and once the wait is over a line saying when the answer came.
// A walk's prompt (the second form) is said once as a line without a
// terminal, and leaves the line after the wait to the walk, which names
// the key in it.
class CLearnPrompt {
public:
    // waitMs: the longest the module waits for the remote.
    CLearnPrompt(CPortSession& session, uint32_t waitMs);
    CLearnPrompt(CPortSession& session, uint32_t waitMs, std::string asking);
    ~CLearnPrompt();
    CLearnPrompt(const CLearnPrompt&) = delete;
    CLearnPrompt& operator=(const CLearnPrompt&) = delete;

    // The wait is over: answered or not.
    void Done(bool answered);

private:
    void Tick();

    CPortSession& m_session;
    uint32_t m_waitMs;
    std::string m_asking;
    bool m_bWalk = false;
    std::chrono::steady_clock::time_point m_start;
    std::mutex m_mutex;
    std::condition_variable m_stop;
    bool m_done = false;
    std::thread m_thread;
};
