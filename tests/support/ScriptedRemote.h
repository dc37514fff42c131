#pragma once

// A remote control for simulated modules in a room: the code each key sends,
// a holder who presses the key a learn asks for, and the slots the learns
// on a line asked for.

#include "ExpectedBytes.h"
#include "Room.h"
#include "SimulatedModule.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The code the remote sends for the key in slot.
inline Bytes PressedCode(uint16_t slot) {
    Bytes code(24 + slot);
    for (size_t i = 0; i < code.size(); ++i) {
        code[i] = static_cast<uint8_t>(slot * 31 + i * 7);
    }
    return code;
}

// The slots of the learn frames among frames, in order.
inline std::vector<uint16_t> LearnedSlots(const std::vector<Bytes>& frames) {
    std::vector<uint16_t> slots;
    for (const Bytes& frame : frames) {
        for (uint16_t slot = 1; slot <= SimulatedModule::SLOT_COUNT; ++slot) {
            if (frame == ExpectedLearnFrame(slot)) {
                slots.push_back(slot);
                break;
            }
        }
    }
    return slots;
}

// A remote in the module's room whose holder presses the key a learn frame
// asks for, a moment after the module takes the frame; from the learn frame
// numbered stopAt on, it calls onStop instead.
class CScriptedRemote {
public:
    CScriptedRemote(SimulatedModule& module, std::string room, int stopAt = 0,
                    std::function<void()> onStop = {})
        : m_module(module), m_room(std::move(room)), m_stopAt(stopAt), m_onStop(std::move(onStop)),
          m_thread([this] { Press(); }) {
        m_module.SetFrameObserver([this](const Bytes& frame, bool) {
            const std::vector<uint16_t> slots = LearnedSlots({frame});
            if (slots.empty()) {
                return;
            }
            std::lock_guard lock(m_mutex);
            m_asked.push_back(slots.front());
            m_changed.notify_all();
        });
    }
    ~CScriptedRemote() {
        m_module.SetFrameObserver({});
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    CScriptedRemote(const CScriptedRemote&) = delete;
    CScriptedRemote& operator=(const CScriptedRemote&) = delete;

    int Presses() const { return m_presses.load(); }

private:
    void Press() {
        std::unique_lock lock(m_mutex);
        for (int learns = 1;; ++learns) {
            m_changed.wait(lock, [this] { return m_done || !m_asked.empty(); });
            if (m_done) {
                return;
            }
            const uint16_t slot = m_asked.front();
            m_asked.erase(m_asked.begin());
            lock.unlock();
            if (m_stopAt > 0 && learns >= m_stopAt) {
                m_onStop();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (EmitIntoRoom(m_room, PressedCode(slot)) > 0) {
                    ++m_presses;
                }
            }
            lock.lock();
        }
    }

    SimulatedModule& m_module;
    std::string m_room;
    int m_stopAt;
    std::function<void()> m_onStop;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uint16_t> m_asked;
    bool m_done = false;
    std::atomic<int> m_presses{0};
    std::thread m_thread;
};
