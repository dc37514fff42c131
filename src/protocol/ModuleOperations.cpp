#include "ModuleOperations.h"

#include "Reply.h"
#include "SerialLink.h"

#include <algorithm>
#include <chrono>
#include <thread>

ExchangeReply RunExchange(CSerialLink& link, const CommandFrame& frame, uint32_t pauseMs,
                          uint32_t readSize) {
    ExchangeReply reply;
    link.PurgeInput();
    // Not examined: a frame that did not go out shows as a missing reply.
    (void)link.Write(frame.data(), frame.size);
    if (pauseMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    const uint32_t size = std::min<uint32_t>(readSize, static_cast<uint32_t>(reply.bytes.size()));
    const uint32_t got = link.Read(reply.bytes.data(), size);
    reply.count = std::min(got, size);
    return reply;
}

VersionOutcome GetVersion(CSerialLink& link, const ExchangeTiming& timing) {
    VersionOutcome outcome;
    const ExchangeReply reply = RunExchange(link, BuildGetVersionFrame(), timing.getVersionPauseMs,
                                            timing.getVersionReadSize);
    if (ClassifyReply(reply.count) == ReplyKind::Version) {
        outcome.ok = true;
        outcome.text = VersionText(reply.bytes.data(), reply.count);
    }
    return outcome;
}

ExchangeReply ReadKey(CSerialLink& link, uint16_t keyIndex, const ExchangeTiming& timing) {
    return RunExchange(link, BuildReadFrame(keyIndex), timing.readKeyPauseMs,
                       timing.readKeyReadSize);
}

SendOutcome SendKey(CSerialLink& link, uint16_t keyIndex, uint8_t channelMask,
                    const ExchangeTiming& timing) {
    const ExchangeReply reply = RunExchange(link, BuildSendFrame(keyIndex, channelMask),
                                            timing.sendKeyPauseMs, timing.sendKeyReadSize);
    if (ClassifyReply(reply.count) != ReplyKind::Status) {
        return SendOutcome::CommunicationFail;
    }
    return StatusByte(reply.bytes.data(), reply.count) == 0 ? SendOutcome::Ok
                                                            : SendOutcome::KeyEmpty;
}

const char* SendOutcomeText(SendOutcome outcome) {
    switch (outcome) {
    case SendOutcome::Ok:
        return "Send Ok!";
    case SendOutcome::KeyEmpty:
        return "Key empty!";
    case SendOutcome::CommunicationFail:
        break;
    }
    return "Communication fail!";
}

void StartLearn(CSerialLink& link, uint16_t keyIndex) {
    const CommandFrame frame = BuildLearnFrame(keyIndex);
    link.PurgeInput();
    (void)link.Write(frame.data(), frame.size);
}

uint32_t PollLearn(CSerialLink& link, uint8_t* buffer, const ExchangeTiming& timing) {
    return link.Read(buffer, timing.learnPollReadSize);
}

LearnOutcome AwaitLearnAnswer(CSerialLink& link, const ExchangeTiming& timing,
                              const std::atomic<int32_t>* running) {
    using Clock = std::chrono::steady_clock;
    LearnOutcome outcome;
    CLearnAnswer answer;
    answer.Start(timing.learnEmptyPolls);
    std::vector<uint8_t> buffer(std::max<uint32_t>(timing.learnPollReadSize, STATUS_REPLY_SIZE));
    const auto period = std::chrono::milliseconds(timing.learnPollPeriodMs);
    auto tick = Clock::now();
    while (running == nullptr || running->load() != 0) {
        tick += period;
        std::this_thread::sleep_until(tick);
        const uint32_t n = PollLearn(link, buffer.data(), timing);
        tick = std::max(tick, Clock::now() - period);
        ++outcome.polls;
        if (n > 0) {
            outcome.pieces.push_back(n);
        }
        outcome.state = answer.Feed(buffer.data(), n);
        if (outcome.state == CLearnAnswer::State::Answered) {
            outcome.status = answer.Status();
            return outcome;
        }
        if (outcome.state == CLearnAnswer::State::TimedOut) {
            return outcome;
        }
    }
    return outcome;
}

const char* LearnOutcomeText(const LearnOutcome& outcome) {
    if (outcome.state != CLearnAnswer::State::Answered) {
        return "Learn timeout!";
    }
    return LearnStatusText(outcome.status);
}

ExchangeReply ExportReadSlot(CSerialLink& link, uint16_t slot, const ExchangeTiming& timing) {
    return RunExchange(link, BuildReadFrame(slot), timing.exportPauseMs, timing.exportReadSize);
}

bool ImportWriteLine(CSerialLink& link, uint16_t keyIndex, const uint8_t* code, uint32_t codeLength,
                     const ExchangeTiming& timing) {
    const CommandFrame frame = BuildWriteFrame(keyIndex, code, codeLength);
    if (frame.size == 0) {
        return false;
    }
    for (uint32_t attempt = 0; attempt < timing.importAttempts; ++attempt) {
        const ExchangeReply reply =
            RunExchange(link, frame, timing.importPauseMs, timing.importReadSize);
        if (reply.count == STATUS_REPLY_SIZE) {
            return true;
        }
    }
    return false;
}
