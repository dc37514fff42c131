#include "ReplyChecks.h"

#include "Crc16.h"
#include "FrameLayout.h"

namespace {

constexpr ReplyKind CHECKED_KINDS[] = {ReplyKind::Status, ReplyKind::Version, ReplyKind::Code};

int SlotOf(ReplyKind kind) {
    switch (kind) {
    case ReplyKind::Status:
        return 0;
    case ReplyKind::Version:
        return 1;
    case ReplyKind::Code:
        return 2;
    case ReplyKind::None:
        break;
    }
    return -1;
}

} // namespace

bool ReplyCrcValid(const uint8_t* reply, uint32_t count) {
    if (reply == nullptr || count <= CRC_SIZE) {
        return false;
    }
    const uint16_t crc = Crc16Value(reply, count - CRC_SIZE);
    return reply[count - 2] == (crc >> 8) && reply[count - 1] == (crc & 0xFF);
}

const char* ReplyKindName(ReplyKind kind) {
    switch (kind) {
    case ReplyKind::Status:
        return "status";
    case ReplyKind::Version:
        return "version";
    case ReplyKind::Code:
        return "code";
    case ReplyKind::None:
        break;
    }
    return "no";
}

CReplyChecks::KindState* CReplyChecks::StateOf(ReplyKind kind) {
    const int slot = SlotOf(kind);
    return slot < 0 ? nullptr : &m_kinds[static_cast<size_t>(slot)];
}

const CReplyChecks::KindState* CReplyChecks::StateOf(ReplyKind kind) const {
    const int slot = SlotOf(kind);
    return slot < 0 ? nullptr : &m_kinds[static_cast<size_t>(slot)];
}

CReplyChecks::Verdict CReplyChecks::Judge(ReplyKind kind, const uint8_t* reply, uint32_t count) {
    KindState* state = StateOf(kind);
    if (state == nullptr) {
        return Verdict::Unchecked;
    }
    state->seen = true;
    if (ReplyCrcValid(reply, count)) {
        state->checked = true;
        return Verdict::Valid;
    }
    return state->checked ? Verdict::Damaged : Verdict::Unchecked;
}

bool CReplyChecks::IsChecked(ReplyKind kind) const {
    const KindState* state = StateOf(kind);
    return state != nullptr && state->checked;
}

bool CReplyChecks::SeenUnchecked(ReplyKind kind) const {
    const KindState* state = StateOf(kind);
    return state != nullptr && state->seen && !state->checked;
}

std::vector<ReplyKind> CReplyChecks::UncheckedKinds() const {
    std::vector<ReplyKind> kinds;
    for (const ReplyKind kind : CHECKED_KINDS) {
        const KindState* state = StateOf(kind);
        if (state->seen && !state->checked) {
            kinds.push_back(kind);
        }
    }
    return kinds;
}

std::vector<std::string> UncheckedReplyTexts(const CReplyChecks& checks) {
    std::vector<std::string> texts;
    for (const ReplyKind kind : checks.UncheckedKinds()) {
        texts.push_back(std::string(ReplyKindName(kind)) + " replies unchecked: no valid CRC seen");
    }
    return texts;
}
