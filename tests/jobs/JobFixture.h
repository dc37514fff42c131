#pragma once

// What the job tests share: an observer that records every event a job gives,
// and an empty simulated module on an open link, with the port a job takes.

#include "ExpectedBytes.h"
#include "JobObserver.h"
#include "JobPort.h"
#include "ModuleFixture.h"
#include "RuntimeDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

// Every event a job gave, in order; it drops the running flag once it has
// seen stopAfterSlots slots.
class CRecordingObserver : public IJobObserver {
public:
    void OnStart(int32_t total) override { events.push_back("start " + std::to_string(total)); }
    void OnProgress(int32_t done, int32_t total) override {
        last = done;
        EXPECT_LE(done, total);
    }
    void OnSlot(const SlotResult& slot) override {
        std::this_thread::sleep_for(slotPause); // a front end slow to show it
        slots.push_back(slot);
        if (stopAfterSlots > 0 && slots.size() == stopAfterSlots) {
            running->store(0);
        }
    }
    void OnLine(const LineResult& line) override { lines.push_back(line); }

    std::vector<std::string> events;
    std::vector<SlotResult> slots;
    std::vector<LineResult> lines;
    int32_t last = 0;
    size_t stopAfterSlots = 0;
    std::chrono::milliseconds slotPause{0};
    std::atomic<int32_t>* running = nullptr;
};

class Jobs : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_line.Start(9)); }
    JobPort Port(CReplyChecks* checks = nullptr) {
        return JobPort{m_line.link, m_line.timing, m_running, checks};
    }

    PrivateRuntimeDir m_runtime; // the port directory, before the module publishes in it
    CModuleOnLink m_line;
    SimulatedModule& m_module = m_line.module;
    std::atomic<int32_t> m_running{1};
};
