#include "SendSequence.h"

#include "CommandFrame.h"

#include <chrono>
#include <thread>

namespace {

// Sleeps in short naps so that a dropped running flag ends the pause soon.
bool Pause(const JobPort& port, uint32_t ms) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    while (!port.Stopped()) {
        const auto left = end - Clock::now();
        if (left <= Clock::duration::zero()) {
            return true;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(50)));
    }
    return false;
}

} // namespace

SequenceResult SendSequence(const JobPort& port, const std::vector<RemoteKey>& keys,
                            uint32_t waitMs,
                            const std::function<void(const SequenceStep&)>& onStep) {
    SequenceResult result;
    for (size_t i = 0; i < keys.size(); ++i) {
        SequenceStep step;
        step.key = &keys[i];
        if (i > 0) {
            step.waitedMs = waitMs;
            if (!Pause(port, waitMs)) {
                result.cancelled = true;
                return result;
            }
        } else if (port.Stopped()) {
            result.cancelled = true;
            return result;
        }
        step.outcome = SendKey(port.link, keys[i].slot, ChannelMask(KeyChannel(keys[i])),
                               port.timing, port.checks);
        result.steps.push_back(step);
        if (onStep) {
            onStep(step);
        }
        if (step.outcome != SendOutcome::Ok) {
            return result;
        }
    }
    result.complete = true;
    return result;
}
