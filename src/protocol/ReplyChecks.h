#pragma once

#include "CommandFrame.h"
#include "Reply.h"
#include "ReplyGap.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Whether the last two bytes of a reply are the CRC-16 of the bytes before
// it, high byte first, as a request carries its own.
bool ReplyCrcValid(const uint8_t* reply, uint32_t count);

// "status", "version" or "code".
const char* ReplyKindName(ReplyKind kind);

// What a port session has learned about its module's replies, kind by kind.
//
// Only the layout of the bytes the host uses is known of a module's replies,
// not whether every kind ends in a CRC. So each kind starts unchecked; the
// first reply of a kind whose CRC holds shows that the module sends one, and
// from then on a reply of that kind whose CRC fails was damaged on the line.
// A kind that never shows a valid CRC stays unchecked and is taken by its
// byte count alone, as the window takes every reply.
class CReplyChecks {
public:
    enum class Verdict { Unchecked, Valid, Damaged };

    Verdict Judge(ReplyKind kind, const uint8_t* reply, uint32_t count);
    bool IsChecked(ReplyKind kind) const;
    // A kind that came in this session without a valid CRC.
    bool SeenUnchecked(ReplyKind kind) const;
    // The kinds that came in this session but never with a valid CRC.
    std::vector<ReplyKind> UncheckedKinds() const;

    // Exchanges repeated because their reply was damaged.
    void CountRepeat() { ++m_repeats; }
    uint32_t Repeats() const { return m_repeats; }

    // The session's exchanges that take a reply once it is whole: the quiet
    // gap learned from its replies, and the last exchange taken that way,
    // done again should bytes of its reply come after it was taken.
    struct TakenExchange {
        CommandFrame frame;
        uint32_t pauseMs = 0;
        uint32_t readSize = 0;
    };
    CReplyGap& Gap() { return m_gap; }
    const TakenExchange* LastTaken() const { return m_taken ? &m_lastTaken : nullptr; }
    void RememberTaken(const TakenExchange& exchange) {
        m_lastTaken = exchange;
        m_taken = true;
    }
    void ForgetTaken() { m_taken = false; }
    // True once, before the session's first exchange that takes a reply
    // once it is whole.
    bool TakeFirstExchange() { return !std::exchange(m_started, true); }
    // Exchanges done again because bytes came after their reply was taken.
    void CountRedo() { ++m_redone; }
    uint32_t Redone() const { return m_redone; }

private:
    struct KindState {
        bool seen = false;
        bool checked = false;
    };
    KindState* StateOf(ReplyKind kind);
    const KindState* StateOf(ReplyKind kind) const;

    std::array<KindState, 3> m_kinds{}; // status, version, code
    uint32_t m_repeats = 0;
    CReplyGap m_gap;
    TakenExchange m_lastTaken;
    bool m_taken = false;
    bool m_started = false;
    uint32_t m_redone = 0;
};

// "code replies unchecked: no valid CRC seen" for each unchecked kind.
std::vector<std::string> UncheckedReplyTexts(const CReplyChecks& checks);
