#include "LearnPrompt.h"

#include "Console.h"

#include <cstdio>

namespace {

constexpr auto TICK = std::chrono::milliseconds(100);

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds < 0.0 ? 0.0 : seconds);
    return text;
}

} // namespace

CLearnPrompt::CLearnPrompt(CPortSession& session, uint32_t waitMs)
    : m_session(session), m_waitMs(waitMs),
      m_asking(session.Name() + ": press the key on the remote now"),
      m_start(std::chrono::steady_clock::now()) {
    if (m_session.Progress().Shown()) {
        m_thread = std::thread([this] { Tick(); });
    }
}

CLearnPrompt::CLearnPrompt(CPortSession& session, uint32_t waitMs, std::string asking)
    : m_session(session), m_waitMs(waitMs), m_asking(std::move(asking)), m_bWalk(true),
      m_start(std::chrono::steady_clock::now()) {
    if (m_session.Progress().Shown()) {
        m_thread = std::thread([this] { Tick(); });
    } else {
        m_session.Context().console.Line(m_asking + ", " + Seconds(m_waitMs / 1000.0) + " left");
    }
}

CLearnPrompt::~CLearnPrompt() {
    Done(false);
}

void CLearnPrompt::Tick() {
    std::unique_lock lock(m_mutex);
    while (!m_done) {
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        m_session.Progress().Note(m_asking + ", " + Seconds(m_waitMs / 1000.0 - waited) + " left");
        m_stop.wait_for(lock, TICK, [this] { return m_done; });
    }
}

void CLearnPrompt::Done(bool answered) {
    {
        std::lock_guard lock(m_mutex);
        if (m_done) {
            return;
        }
        m_done = true;
    }
    m_stop.notify_all();
    if (!m_thread.joinable()) {
        return;
    }
    m_thread.join();
    m_session.Progress().Note({});
    if (m_bWalk) {
        return;
    }
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    m_session.Context().console.Line(
        m_session.Name() + ": " + (answered ? "the module answered after " : "no answer after ") +
        Seconds(waited));
}
