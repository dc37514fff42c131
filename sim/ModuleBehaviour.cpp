#include "ModuleBehaviour.h"

#include "CommandFrame.h"
#include "FrameLayout.h"
#include "ModuleFrames.h"
#include "Reply.h"
#include "ReplyFaults.h"
#include "Room.h"

#include <algorithm>

namespace {

std::chrono::milliseconds Ms(uint32_t ms) {
    return std::chrono::milliseconds(ms);
}

CModuleBehaviour::Step Replying(std::optional<CModuleBehaviour::Bytes> reply,
                                std::optional<CModuleBehaviour::Bytes> light = std::nullopt) {
    CModuleBehaviour::Step step;
    step.reply = std::move(reply);
    step.light = std::move(light);
    return step;
}

} // namespace

CModuleBehaviour::CModuleBehaviour() {
    // A few codes to find: slot 1, channel 2 key 5 (105), the last key of
    // channel 4 (400) and the last exported slot (448).
    m_slots.Set(1, {0x11, 0x22, 0x33, 0x44});
    m_slots.Set(105, GeneratedCode(105, 1000));
    m_slots.Set(400, GeneratedCode(400, 1000));
    m_slots.Set(448, {0xA5});
}

CModuleBehaviour::Step CModuleBehaviour::Answer(const Bytes& f, Clock::time_point now,
                                                bool inRoom) {
    m_floodDue.reset();
    if (!IsValidFrame(f) || m_faults.silent) {
        return {};
    }
    // Every keyed frame is known valid here, so it holds its index.
    const uint16_t index = IndexAt(f.data() + FRAME_KEY_INDEX_OFFSET);
    switch (f[FRAME_COMMAND_OFFSET]) {
    case CMD_GET_VERSION:
        return Replying(AsSent(VersionReply(std::string(m_version.begin(), m_version.end())),
                               ReplyKind::Version));
    case CMD_READ:
        if (f.size() != BuildReadFrame(0).size) {
            return {};
        }
        return Replying(ReplyToRead(index));
    case CMD_LEARN:
        if (f.size() == BuildLearnFrame(0).size) {
            StartLearn(index, now, inRoom);
        }
        return {}; // its answer comes when it ends
    case CMD_SEND: {
        if (f.size() != BuildSendFrame(0, 0).size) {
            return {};
        }
        Bytes code = m_slots.Get(index);
        if (code.empty()) {
            return Replying(AsSent(StatusReply(STATUS_EMPTY), ReplyKind::Status));
        }
        return Replying(AsSent(StatusReply(STATUS_OK), ReplyKind::Status), std::move(code));
    }
    case CMD_WRITE:
        return Replying(ReplyToWrite(f, index));
    default:
        return {}; // unknown command: ignored
    }
}

std::optional<CModuleBehaviour::Bytes> CModuleBehaviour::ReplyToRead(uint16_t index) {
    if (m_faults.stopAfterSlot >= 0 && index > m_faults.stopAfterSlot) {
        return std::nullopt;
    }
    const Bytes code = m_slots.Get(index);
    if (code.empty()) {
        return AsSent(StatusReply(STATUS_EMPTY), ReplyKind::Status);
    }
    return AsSent(CodeReply(code), ReplyKind::Code);
}

std::optional<CModuleBehaviour::Bytes> CModuleBehaviour::ReplyToWrite(const Bytes& f,
                                                                      uint16_t index) {
    if (m_writesToRefuse > 0) {
        --m_writesToRefuse; // as if the frame was lost: nothing stored
        return std::nullopt;
    }
    const size_t n = m_writesAnswered++;
    const std::vector<uint32_t>& sizes = m_faults.writeReplySizes;
    const uint32_t replySize = n < sizes.size() ? sizes[n] : STATUS_REPLY_SIZE;
    if (replySize == 0) {
        return std::nullopt;
    }
    auto status = static_cast<uint8_t>(m_faults.ackStatus);
    if (status == STATUS_OK &&
        !m_slots.Set(index, Bytes(f.begin() + WRITE_CODE_OFFSET, f.end() - CRC_SIZE))) {
        status = STATUS_EMPTY;
    }
    return AsSent(StatusReply(status), ReplyKind::Status, replySize);
}

// A new learn replaces one still pending; under the flood it is never answered.
void CModuleBehaviour::StartLearn(uint16_t index, Clock::time_point now, bool inRoom) {
    if (m_faults.floodLearn) {
        m_learn.reset();
        m_floodDue = now + FLOOD_INTERVAL;
        return;
    }
    if (inRoom) {
        m_learn = PendingLearn{now + Ms(m_faults.learnWindowMs), index, true};
        return;
    }
    m_learn = PendingLearn{now + Ms(m_faults.learnDelayMs), index};
}

// Ends the pending learn: stores what was captured from the room, or without
// a room a generated code, and answers with the learn's status.
std::optional<CModuleBehaviour::Bytes> CModuleBehaviour::AnswerLearn(const Bytes* captured) {
    const uint16_t index = m_learn->index;
    m_learn.reset();
    if (m_faults.silent) {
        return std::nullopt;
    }
    auto status = static_cast<uint8_t>(m_faults.learnStatus);
    if (status == STATUS_OK) {
        const bool stored =
            captured != nullptr
                ? m_slots.Set(index, CapturedCode(*captured, m_faults.captureNoise, m_random))
                : m_slots.Set(index, GeneratedCode(index, m_learnCount));
        if (captured != nullptr && !stored) {
            status = STATUS_SAVE_FAIL; // too long for a slot: nothing stored
        }
        m_learnCount += stored && captured == nullptr ? 1 : 0;
    }
    return AsSent(StatusReply(status), ReplyKind::Status);
}

CModuleBehaviour::Step CModuleBehaviour::Capture(const Bytes& code) {
    if (!m_learn || !m_learn->inRoom) {
        return {};
    }
    return Replying(AnswerLearn(&code));
}

std::optional<CModuleBehaviour::Clock::time_point> CModuleBehaviour::NextDue() const {
    if (m_learn && m_floodDue) {
        return std::min(m_learn->due, *m_floodDue);
    }
    if (m_learn) {
        return m_learn->due;
    }
    return m_floodDue;
}

CModuleBehaviour::Step CModuleBehaviour::Tick(Clock::time_point now) {
    Step step;
    if (m_learn && now >= m_learn->due) {
        if (m_learn->inRoom) {
            m_learn.reset(); // nothing came: no answer, the host times out
        } else {
            step.reply = AnswerLearn(nullptr);
        }
    }
    if (m_floodDue && now >= *m_floodDue) {
        m_floodDue = now + FLOOD_INTERVAL;
        step.floodPiece = true;
    }
    return step;
}

void CModuleBehaviour::DropPending() {
    m_learn.reset();
    m_floodDue.reset();
}

CModuleBehaviour::Bytes CModuleBehaviour::AsSent(Bytes reply, ReplyKind kind, size_t cutTo) {
    Bytes bytes = ReplyAsSent(std::move(reply), kind, ++m_repliesSent, m_faults);
    bytes.resize(std::min(bytes.size(), cutTo));
    return bytes;
}

void CModuleBehaviour::SetFaults(const SimFaults& faults) {
    m_faults = faults;
    m_writesToRefuse = faults.refuseWrites;
    m_writesAnswered = 0;
    m_repliesSent = 0;
}

void CModuleBehaviour::SetFirmwareVersion(const std::string& version) {
    m_version.fill(0x00);
    std::copy_n(version.begin(), std::min<size_t>(version.size(), m_version.size()),
                m_version.begin());
}

std::string CModuleBehaviour::FirmwareVersion() const {
    return std::string(m_version.begin(), std::find(m_version.begin(), m_version.end(), 0));
}
