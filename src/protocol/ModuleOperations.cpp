#include "ModuleOperations.h"

#include "Reply.h"
#include "SerialLink.h"

#include <algorithm>
#include <chrono>
#include <thread>

bool WholeReply::Holds(const uint8_t* bytes, uint32_t count) const {
    if (size != 0) {
        return count == size;
    }
    if (kindOf == nullptr || checks == nullptr) {
        return false;
    }
    // A kind not seen yet counts as checked: its first valid CRC makes it so.
    const ReplyKind kind = kindOf(count);
    return kind != ReplyKind::None && !checks->SeenUnchecked(kind) && ReplyCrcValid(bytes, count);
}

namespace {

// A connection that closed during the exchange fails it: its bytes become
// no code, version or line.
void JudgeLine(const CSerialLink& link, ExchangeReply& reply) {
    if (!link.LineFault().empty()) {
        reply.count = 0;
    }
}

// With the session's checks: a read that took its whole count while the
// line went on sending, without a pause of three byte times, did not meet a
// module (a real 504-byte code fills a 512-byte read and then stops) but a
// port that sends without pause. The window reads as it always has.
void JudgeStreaming(CSerialLink& link, ExchangeReply& reply, uint32_t readSize) {
    if (reply.count == 0 || reply.count < std::min<uint32_t>(readSize, 512)) {
        return;
    }
    std::this_thread::sleep_for(link.ByteTime() * 3);
    uint32_t more = 0;
    link.PurgeInput(&more);
    if (more > 0) {
        link.NoteLineFault(PORT_SENDS_WITHOUT_PAUSE_TEXT);
        reply.count = 0;
    }
}

// The exchange as the window runs it: the fixed pause, then one read.
ExchangeReply RunFixedExchange(CSerialLink& link, const CommandFrame& frame, uint32_t pauseMs,
                               uint32_t size) {
    ExchangeReply reply;
    (void)link.Write(frame.data(), frame.size);
    if (pauseMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    reply.count = std::min(link.Read(reply.bytes.data(), size), size);
    JudgeLine(link, reply);
    return reply;
}

// The session's last exchange taken whole, done again on the fixed timing
// because bytes came after its reply was taken; the gap widens for the rest
// of the session.
std::shared_ptr<const ExchangeReply> Redo(CSerialLink& link, CReplyChecks& session) {
    const CReplyChecks::TakenExchange last = *session.LastTaken();
    session.ForgetTaken();
    session.Gap().Widen(link.ByteTime());
    session.CountRedo();
    const uint32_t size = std::min<uint32_t>(last.readSize, 512);
    auto redone =
        std::make_shared<ExchangeReply>(RunFixedExchange(link, last.frame, last.pauseMs, size));
    link.PurgeInput();
    return redone;
}

// Before a session's first exchange that takes a reply once it is whole: a
// reply to an exchange of an earlier user of the port (a killed command)
// may still be on its way, and a status reply looks like a read of an empty
// slot. The line is given the exchange's own pause, as the fixed timing
// gives every reply, and purged, until a pause brings nothing (a few rounds
// at most: a port that never goes quiet fails its exchange anyway).
void SettleFirstExchange(CSerialLink& link, uint32_t pauseMs) {
    constexpr int MOST_ROUNDS = 4;
    uint32_t dropped = 1;
    for (int round = 0; round < MOST_ROUNDS && dropped > 0; ++round) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        dropped = 0;
        link.PurgeInput(&dropped);
    }
}

// Reads reply into its bytes after its first count, until it is whole (by
// whole) and quiet, after a pause of pauseMs; the count it ends with.
uint32_t ReadWholeReply(CSerialLink& link, ExchangeReply& reply, uint32_t size, uint32_t pauseMs,
                        const WholeReply& whole, CReplyGap& gap) {
    // No reply is shorter than a status reply, the shortest with a CRC.
    const uint32_t shortest = whole.size != 0 ? whole.size : STATUS_REPLY_SIZE;
    const uint32_t got = link.ReadReply(
        reply.bytes.data(), size, pauseMs, gap, shortest,
        [&whole](const uint8_t* bytes, uint32_t count) { return whole.Holds(bytes, count); },
        reply.count);
    return std::min(got, size);
}

// Whether a reply that is not whole has more bytes to come: it is short of
// the one size expected, or its kind may carry a CRC (it has, or has not come
// yet) and the CRC does not hold.
bool OwesMore(const ExchangeReply& reply, const WholeReply& whole) {
    if (reply.count == 0 || whole.checks == nullptr ||
        whole.Holds(reply.bytes.data(), reply.count)) {
        return false;
    }
    if (whole.size != 0) {
        return reply.count < whole.size;
    }
    const ReplyKind kind = whole.kindOf(reply.count);
    return kind != ReplyKind::None && !whole.checks->SeenUnchecked(kind);
}

// A reply that the read's interval cut short, read on from where it
// stopped, waiting for its rest as long as the exchange waits for a reply
// (its pause and the interval): after a pause inside a reply (a network, a
// loaded machine) its rest is taken as its rest, never as the start of the
// repeat's reply, nor its first bytes as a code. True when more bytes came.
bool ResumeCutReply(CSerialLink& link, ExchangeReply& reply, const ExchangeStep& step,
                    const WholeReply& whole) {
    const uint32_t size = std::min<uint32_t>(step.readSize, 512);
    if (!OwesMore(reply, whole) || reply.count >= size || !link.LineFault().empty()) {
        return false;
    }
    const uint32_t before = reply.count;
    reply.count = ReadWholeReply(link, reply, size, step.pauseMs, whole, whole.checks->Gap());
    JudgeLine(link, reply);
    return reply.count > before;
}

} // namespace

ExchangeReply RunExchange(CSerialLink& link, const CommandFrame& frame, uint32_t pauseMs,
                          uint32_t readSize, const WholeReply* whole) {
    const uint32_t size = std::min<uint32_t>(readSize, 512);
    if (whole == nullptr) {
        link.PurgeInput();
        return RunFixedExchange(link, frame, pauseMs, size);
    }
    CReplyChecks* session = whole->checks;
    if (session != nullptr && session->TakeFirstExchange()) {
        SettleFirstExchange(link, pauseMs);
    }
    uint32_t dropped = 0;
    link.PurgeInput(&dropped);
    std::shared_ptr<const ExchangeReply> redone;
    if (dropped > 0 && session != nullptr && session->LastTaken() != nullptr) {
        redone = Redo(link, *session);
    }
    CReplyGap ownGap;
    CReplyGap& gap = session != nullptr ? session->Gap() : ownGap;
    // Not examined: a frame that did not go out shows as a missing reply.
    (void)link.Write(frame.data(), frame.size);
    ExchangeReply reply;
    reply.count = ReadWholeReply(link, reply, size, pauseMs, *whole, gap);
    JudgeLine(link, reply);
    reply.redone = std::move(redone);
    if (session != nullptr) {
        session->RememberTaken({frame, pauseMs, readSize});
    }
    return reply;
}

std::shared_ptr<const ExchangeReply> SettleExchanges(CSerialLink& link, CReplyChecks* checks) {
    if (checks == nullptr || checks->LastTaken() == nullptr) {
        return nullptr;
    }
    std::this_thread::sleep_for(checks->Gap().Quiet(link.ByteTime()));
    uint32_t dropped = 0;
    link.PurgeInput(&dropped);
    if (dropped == 0) {
        checks->ForgetTaken();
        return nullptr;
    }
    return Redo(link, *checks);
}

namespace {

// The only reply a version request expects; other counts are failures.
ReplyKind VersionReplyKind(uint32_t count) {
    return ClassifyReply(count) == ReplyKind::Version ? ReplyKind::Version : ReplyKind::None;
}

// The only reply a send or a write expects.
ReplyKind StatusReplyKind(uint32_t count) {
    return ClassifyReply(count) == ReplyKind::Status ? ReplyKind::Status : ReplyKind::None;
}

} // namespace

ExchangeReply RunCheckedExchange(CSerialLink& link, const CommandFrame& frame, ExchangeStep step,
                                 ReplyKind (*kindOf)(uint32_t count), CReplyChecks* checks,
                                 bool takeWhole, uint32_t onlySize) {
    const WholeReply whole{onlySize, kindOf, checks};
    const WholeReply* early = takeWhole ? &whole : nullptr;
    ExchangeReply reply = RunExchange(link, frame, step.pauseMs, step.readSize, early);
    if (checks == nullptr) {
        return reply;
    }
    JudgeStreaming(link, reply, step.readSize);
    for (int repeat = 0;; ++repeat) {
        while (early != nullptr && ResumeCutReply(link, reply, step, whole)) {
        }
        const auto verdict = checks->Judge(kindOf(reply.count), reply.bytes.data(), reply.count);
        if (verdict != CReplyChecks::Verdict::Damaged) {
            return reply;
        }
        if (repeat == 1) {
            reply.damaged = true;
            return reply;
        }
        checks->CountRepeat();
        // A redo that the repeat's purge calls for is of this same exchange,
        // which the repeat does again anyway; the one before stays reported.
        std::shared_ptr<const ExchangeReply> before = std::move(reply.redone);
        reply = RunExchange(link, frame, step.pauseMs, step.readSize, early);
        reply.redone = std::move(before);
    }
}

VersionOutcome GetVersion(CSerialLink& link, const ExchangeTiming& timing, CReplyChecks* checks) {
    VersionOutcome outcome;
    const ExchangeReply reply =
        RunCheckedExchange(link, BuildGetVersionFrame(), timing.Step(Exchange::GetVersion),
                           VersionReplyKind, checks, timing.wholeReplies, VERSION_REPLY_SIZE);
    outcome.replyBytes = reply.count;
    outcome.damaged = reply.damaged;
    if (!reply.damaged && ClassifyReply(reply.count) == ReplyKind::Version) {
        outcome.ok = true;
        outcome.text = VersionText(reply.bytes.data(), reply.count);
    }
    return outcome;
}

ExchangeReply ReadKey(CSerialLink& link, uint16_t keyIndex, const ExchangeTiming& timing,
                      CReplyChecks* checks) {
    const ExchangeReply reply =
        RunCheckedExchange(link, BuildReadFrame(keyIndex), timing.Step(Exchange::ReadKey),
                           ClassifyReadReply, checks, timing.wholeReplies);
    // A read stands alone: no next exchange's purge would see the rest of a
    // reply taken before its end.
    const std::shared_ptr<const ExchangeReply> redone = SettleExchanges(link, checks);
    return redone != nullptr ? *redone : reply;
}

ReadOutcome ReadOutcomeOf(const ExchangeReply& reply) {
    if (reply.damaged) {
        return ReadOutcome::Damaged;
    }
    switch (ClassifyReadReply(reply.count)) {
    case ReplyKind::None:
        return ReadOutcome::CommunicationFail;
    case ReplyKind::Status:
        return StatusByte(reply.bytes.data(), reply.count) == 1 ? ReadOutcome::KeyEmpty
                                                                : ReadOutcome::OtherStatus;
    case ReplyKind::Version:
    case ReplyKind::Code:
        break;
    }
    return IsShortCodeReply(reply.count) ? ReadOutcome::Incomplete : ReadOutcome::Code;
}

const char* ReadOutcomeText(ReadOutcome outcome) {
    switch (outcome) {
    case ReadOutcome::KeyEmpty:
        return KEY_EMPTY_TEXT;
    case ReadOutcome::OtherStatus:
        return "Status reply";
    case ReadOutcome::Incomplete:
        return "Incomplete reply";
    case ReadOutcome::CommunicationFail:
        return COMMUNICATION_FAIL_TEXT;
    case ReadOutcome::Damaged:
        return REPLY_DAMAGED_TEXT;
    case ReadOutcome::Code:
        break;
    }
    return "";
}

SendOutcome SendKey(CSerialLink& link, uint16_t keyIndex, uint8_t channelMask,
                    const ExchangeTiming& timing, CReplyChecks* checks) {
    const ExchangeReply reply = RunCheckedExchange(link, BuildSendFrame(keyIndex, channelMask),
                                                   timing.Step(Exchange::SendKey), StatusReplyKind,
                                                   checks, timing.wholeReplies, STATUS_REPLY_SIZE);
    if (reply.damaged) {
        return SendOutcome::Damaged;
    }
    if (ClassifyReply(reply.count) != ReplyKind::Status) {
        return SendOutcome::CommunicationFail;
    }
    return StatusByte(reply.bytes.data(), reply.count) == 0 ? SendOutcome::Ok
                                                            : SendOutcome::KeyEmpty;
}

const char* SendOutcomeText(SendOutcome outcome) {
    switch (outcome) {
    case SendOutcome::Ok:
        return SEND_OK_TEXT;
    case SendOutcome::KeyEmpty:
        return KEY_EMPTY_TEXT;
    case SendOutcome::Damaged:
        return REPLY_DAMAGED_TEXT;
    case SendOutcome::CommunicationFail:
        break;
    }
    return COMMUNICATION_FAIL_TEXT;
}

void StartLearn(CSerialLink& link, uint16_t keyIndex) {
    const CommandFrame frame = BuildLearnFrame(keyIndex);
    link.PurgeInput();
    (void)link.Write(frame.data(), frame.size);
}

uint32_t PollLearn(CSerialLink& link, uint8_t* buffer, const ExchangeTiming& timing) {
    return link.Read(buffer, timing.Step(Exchange::LearnPoll).readSize);
}

LearnOutcome AwaitLearnAnswer(CSerialLink& link, const ExchangeTiming& timing,
                              const std::atomic<int32_t>* running, CReplyChecks* checks,
                              const std::atomic<int32_t>* interrupt) {
    using Clock = std::chrono::steady_clock;
    LearnOutcome outcome;
    CLearnAnswer answer;
    answer.Start(timing.learnPolls);
    std::vector<uint8_t> buffer(
        std::max<uint32_t>(timing.Step(Exchange::LearnPoll).readSize, STATUS_REPLY_SIZE));
    const auto period = std::chrono::milliseconds(timing.learnPollPeriodMs);
    auto tick = Clock::now();
    auto waiting = [&] {
        return (running == nullptr || running->load() != 0) &&
               (interrupt == nullptr || interrupt->load() <= 0);
    };
    while (waiting()) {
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
            outcome.damaged = checks != nullptr &&
                              checks->Judge(ReplyKind::Status, answer.Reply().data(),
                                            STATUS_REPLY_SIZE) == CReplyChecks::Verdict::Damaged;
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
        return LEARN_TIMEOUT_TEXT;
    }
    if (outcome.damaged) {
        return REPLY_DAMAGED_TEXT;
    }
    return LearnStatusText(outcome.status);
}

ExchangeReply ExportReadSlot(CSerialLink& link, uint16_t slot, const ExchangeTiming& timing,
                             CReplyChecks* checks) {
    return RunCheckedExchange(link, BuildReadFrame(slot), timing.Step(Exchange::ExportSlot),
                              ClassifyReadReply, checks, timing.wholeReplies);
}

WriteOutcome ImportWriteLine(CSerialLink& link, uint16_t keyIndex, const uint8_t* code,
                             uint32_t codeLength, const ExchangeTiming& timing,
                             CReplyChecks* checks) {
    using Result = WriteOutcome::Result;
    WriteOutcome outcome;
    const CommandFrame frame = BuildWriteFrame(keyIndex, code, codeLength);
    if (frame.size == 0) {
        outcome.result = Result::TooLong;
        return outcome;
    }
    // The acknowledgement is the one reply a write expects. Should bytes come
    // after the line before was acknowledged, the purge has that line written
    // again on the fixed timing: writing a slot twice leaves it the same.
    const WholeReply acknowledgement{STATUS_REPLY_SIZE, nullptr, checks};
    const WholeReply* early = timing.wholeReplies ? &acknowledgement : nullptr;
    const ExchangeStep step = timing.Step(Exchange::ImportLine);
    for (uint32_t attempt = 0; attempt < timing.importAttempts; ++attempt) {
        outcome.attempts = attempt + 1;
        const ExchangeReply reply = RunExchange(link, frame, step.pauseMs, step.readSize, early);
        if (ClassifyReply(reply.count) != ReplyKind::Status) {
            outcome.result = Result::NotAcknowledged;
            continue;
        }
        if (checks == nullptr) {
            // Its content is not examined: 8 bytes are the acknowledgement.
            outcome.result = Result::Written;
            return outcome;
        }
        if (checks->Judge(ReplyKind::Status, reply.bytes.data(), reply.count) ==
            CReplyChecks::Verdict::Damaged) {
            outcome.result = Result::Damaged;
            if (attempt + 1 < timing.importAttempts) {
                checks->CountRepeat();
            }
            continue;
        }
        outcome.status = StatusByte(reply.bytes.data(), reply.count);
        outcome.result = outcome.status == 0 ? Result::Written : Result::Refused;
        return outcome;
    }
    return outcome;
}
