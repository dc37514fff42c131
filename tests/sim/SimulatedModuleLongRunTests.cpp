// A module serving a long run stays the same size: its record of frames
// keeps only the newest, and nothing else grows with the exchanges. The
// frames go straight onto the pseudo-terminal, many at a time, so that a
// hundred thousand exchanges take seconds.

#include "CommandFrame.h"
#include "ExpectedBytes.h"
#include "FrameRecord.h"
#include "ModuleFrames.h"
#include "ModuleOnRawLine.h"
#include "RawLine.h"
#include "Reply.h"
#include "SimulatedModule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define LUMARET_SANITIZED_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LUMARET_SANITIZED_HEAP 1
#endif
#ifdef LUMARET_SANITIZED_HEAP
#include <sanitizer/allocator_interface.h>
#endif

namespace {

using namespace std::chrono_literals;

constexpr size_t MEGABYTE = 1024 * 1024;
// Waits on the line, generous for the sanitizer builds on a busy machine.
constexpr auto LINE_TIMEOUT = 10s;

// The memory this process holds. A sanitizer's allocator keeps freed blocks
// back for a while, so there the bytes it has handed out stand in for the
// resident set.
size_t MemoryInUse() {
#ifdef LUMARET_SANITIZED_HEAP
    return __sanitizer_get_current_allocated_bytes();
#else
    return ResidentBytes();
#endif
}

Bytes Repeated(const Bytes& bytes, size_t times) {
    Bytes all;
    all.reserve(bytes.size() * times);
    for (size_t i = 0; i < times; ++i) {
        all.insert(all.end(), bytes.begin(), bytes.end());
    }
    return all;
}

class SimulatedModuleLongRun : public ModuleOnRawLine {
protected:
    // Sends the version request count times, BATCH at a time, and reads the
    // replies; returns how many came back as the module's version reply.
    size_t VersionExchanges(size_t count) {
        const CommandFrame frame = BuildGetVersionFrame();
        const Bytes request = FrameBytes(frame);
        const Bytes reply = VersionReply(m_module.FirmwareVersion());
        const Bytes requests = Repeated(request, BATCH);
        size_t matching = 0;
        for (size_t done = 0; done < count; done += BATCH) {
            const size_t n = std::min(BATCH, count - done);
            if (!m_line->Write(Bytes(requests.begin(), requests.begin() + n * request.size()),
                               LINE_TIMEOUT)) {
                break;
            }
            const Bytes got = m_line->Read(n * reply.size(), LINE_TIMEOUT);
            for (size_t at = 0; at + reply.size() <= got.size(); at += reply.size()) {
                matching += std::equal(reply.begin(), reply.end(), got.begin() + at);
            }
        }
        return matching;
    }

    static constexpr size_t BATCH = 50; // 500 bytes out, 950 back: well within the terminal
};

TEST_F(SimulatedModuleLongRun, HundredThousandExchangesKeepTheRecordAndTheMemoryBounded) {
    ASSERT_EQ(VersionExchanges(BATCH), BATCH); // the serving thread's first allocations
    const size_t before = MemoryInUse();
    constexpr size_t EXCHANGES = 100'000;
    EXPECT_EQ(VersionExchanges(EXCHANGES), EXCHANGES);
    const size_t after = MemoryInUse();

    const auto frames = m_module.ReceivedFrames();
    EXPECT_EQ(frames.size(), CFrameRecord::MAX_FRAMES);
    const CommandFrame request = BuildGetVersionFrame();
    EXPECT_TRUE(std::all_of(frames.begin(), frames.end(), [&](const Bytes& f) {
        return f == Bytes(request.data(), request.data() + request.size);
    }));
    // The count goes on past the frames held.
    EXPECT_TRUE(m_module.WaitForFrames(EXCHANGES + BATCH, 0ms));
    EXPECT_FALSE(m_module.WaitForFrames(EXCHANGES + BATCH + 1, 0ms));
    RecordProperty("MemoryBefore", std::to_string(before));
    RecordProperty("MemoryAfter", std::to_string(after));
    EXPECT_LT(after, before + MEGABYTE) << "grew from " << before << " to " << after << " bytes";
}

TEST_F(SimulatedModuleLongRun, LongFramesAreHeldUpToTheByteBound) {
    // Noise of the longest request's size, cut at once and answered by nothing;
    // each frame's bytes tell it from the others (none is the prefix's 0x01).
    constexpr size_t SENT = 1000;
    std::vector<Bytes> sent;
    for (size_t i = 0; i < SENT; ++i) {
        sent.emplace_back(FRAME_CAPACITY, static_cast<uint8_t>(2 + i % 250));
        sent.back()[1] = static_cast<uint8_t>(i / 250);
        ASSERT_TRUE(m_line->Write(sent.back(), LINE_TIMEOUT));
    }
    ASSERT_TRUE(m_module.WaitForFrames(SENT, LINE_TIMEOUT));

    const auto frames = m_module.ReceivedFrames();
    constexpr size_t HELD = CFrameRecord::MAX_BYTES / FRAME_CAPACITY;
    ASSERT_EQ(frames.size(), HELD);
    EXPECT_TRUE(std::equal(frames.begin(), frames.end(), sent.end() - HELD)) << "the newest";
}

TEST_F(SimulatedModuleLongRun, WaitForFramesCountsFromTheLastClear) {
    ASSERT_EQ(VersionExchanges(3), 3u);
    EXPECT_TRUE(m_module.WaitForFrames(3, 0ms));
    m_module.ClearReceivedFrames();
    EXPECT_TRUE(m_module.ReceivedFrames().empty());
    EXPECT_FALSE(m_module.WaitForFrames(1, 0ms));
    ASSERT_EQ(VersionExchanges(2), 2u);
    EXPECT_TRUE(m_module.WaitForFrames(2, 0ms));
    EXPECT_FALSE(m_module.WaitForFrames(3, 0ms));
    EXPECT_EQ(m_module.ReceivedFrames().size(), 2u);
}

TEST_F(SimulatedModuleLongRun, RepliesNobodyReadsDoNotPileUp) {
    ASSERT_EQ(VersionExchanges(BATCH), BATCH);
    const size_t before = MemoryInUse();
    const CommandFrame frame = BuildGetVersionFrame();
    const Bytes requests = Repeated(FrameBytes(frame), BATCH);
    constexpr size_t UNREAD = 20'000; // their replies would need 6 MB of queue
    for (size_t sent = 0; sent < UNREAD; sent += BATCH) {
        ASSERT_TRUE(m_line->Write(requests, LINE_TIMEOUT));
    }
    ASSERT_TRUE(m_module.WaitForFrames(BATCH + UNREAD, 3 * LINE_TIMEOUT));
    const size_t after = MemoryInUse();
    RecordProperty("MemoryBefore", std::to_string(before));
    RecordProperty("MemoryAfter", std::to_string(after));
    EXPECT_LT(after, before + MEGABYTE) << "grew from " << before << " to " << after << " bytes";
}

} // namespace
