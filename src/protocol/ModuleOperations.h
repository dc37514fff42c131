#pragma once

#include "CommandFrame.h"
#include "ExchangeTiming.h"
#include "LearnAnswer.h"
#include "ReplyChecks.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CSerialLink;

// What came back from one exchange: the bytes of the single read and their count.
struct ExchangeReply {
    std::array<uint8_t, 512> bytes{};
    uint32_t count = 0;
    // The session's checks found it damaged, its repeat too.
    bool damaged = false;
    // The purge before this exchange threw away bytes that came after the
    // exchange before it had taken its reply: that exchange, done again on
    // the fixed timing before this one, and its reply.
    std::shared_ptr<const ExchangeReply> redone;
};

// Every exchange below takes the port session's reply checks; without them
// (nullptr, as the window runs) a reply is judged by its byte count alone.
// With them, a reply of a kind whose CRC has held before and fails now was
// damaged on the line: the exchange is repeated once, and when the repeat is
// damaged too the reply is marked damaged and nothing is taken from it.

// When a reply is whole, for exchanges that take it as soon as it is.
struct WholeReply {
    // The one size the exchange expects (an acknowledgement, a version
    // reply): whole at that size, CRC or not. 0: any size.
    uint32_t size = 0;
    // Else whole when its last two bytes are the CRC of the rest and its kind
    // (kindOf the count) has not come without a valid CRC in this session.
    ReplyKind (*kindOf)(uint32_t count) = nullptr;
    // The session: its checks, the quiet gap it learned and its last
    // exchange taken whole. nullptr: a gap learned for this exchange alone.
    CReplyChecks* checks = nullptr;

    bool Holds(const uint8_t* bytes, uint32_t count) const;
};

// Purge, write the whole frame, pause, one read of up to readSize bytes
// (at most 512). The write's result is not examined: a frame that did not go
// out shows as a missing reply. With whole (nullptr: never), the reply is
// taken as soon as it is whole and quiet for the gap the session learned,
// the pause and read bounding it still; and when the purge throws bytes
// away, they came after the session's last such reply was taken: the gap
// widens and that exchange is done again on the fixed timing first (redone).
ExchangeReply RunExchange(CSerialLink& link, const CommandFrame& frame, uint32_t pauseMs,
                          uint32_t readSize, const WholeReply* whole = nullptr);
// At the end of a session's run of exchanges: waits out the quiet gap and
// looks for bytes that came after the last reply taken whole; when any came,
// that exchange is done again on the fixed timing and its reply returned.
std::shared_ptr<const ExchangeReply> SettleExchanges(CSerialLink& link, CReplyChecks* checks);
// RunExchange with step's pause and read, judged by checks; kindOf names the
// kind of reply a count stands for. With takeWhole, the reply is taken as
// soon as it is whole: at onlySize when that is not 0, else at a valid CRC
// of a checked kind.
ExchangeReply RunCheckedExchange(CSerialLink& link, const CommandFrame& frame, ExchangeStep step,
                                 ReplyKind (*kindOf)(uint32_t count), CReplyChecks* checks,
                                 bool takeWhole = false, uint32_t onlySize = 0);

// The system's words for the outcomes of the key commands, as both front
// ends show them (besides REPLY_DAMAGED_TEXT and LearnStatusText).
inline constexpr const char* GET_FAIL_TEXT = "Get Fail";
inline constexpr const char* SEND_OK_TEXT = "Send Ok!";
inline constexpr const char* KEY_EMPTY_TEXT = "Key empty!";
inline constexpr const char* COMMUNICATION_FAIL_TEXT = "Communication fail!";
inline constexpr const char* LEARN_TIMEOUT_TEXT = "Learn timeout!";
// A port whose line goes on sending after a read took its whole count.
inline constexpr const char* PORT_SENDS_WITHOUT_PAUSE_TEXT =
    "the port sends without pause: is a module attached?";

struct VersionOutcome {
    bool ok = false;  // a 19-byte version reply came
    std::string text; // its version text when ok
    uint32_t replyBytes = 0;
    bool damaged = false; // a version reply came, damaged twice
};
VersionOutcome GetVersion(CSerialLink& link, const ExchangeTiming& timing,
                          CReplyChecks* checks = nullptr);

// Read a key: the whole reply (read again on the fixed timing should bytes
// follow a reply taken whole); ReadOutcomeOf says what it means.
ExchangeReply ReadKey(CSerialLink& link, uint16_t keyIndex, const ExchangeTiming& timing,
                      CReplyChecks* checks = nullptr);

// What the reply to a read means, judged by its count (and, with checks,
// whether it stayed damaged). Damaged comes only with checks.
enum class ReadOutcome {
    Code,              // a code reply of 8 bytes or more (a 19-byte one included)
    Incomplete,        // 1 to 7 bytes: too short to hold a header, a code and a CRC
    KeyEmpty,          // a status reply whose status byte is 1
    OtherStatus,       // a status reply with any other status byte
    CommunicationFail, // no byte came
    Damaged,
};
ReadOutcome ReadOutcomeOf(const ExchangeReply& reply);
// "Key empty!", "Communication fail!", "reply damaged", "Incomplete reply" or
// "Status reply"; empty for a code, which is shown as its bytes.
const char* ReadOutcomeText(ReadOutcome outcome);

// Damaged comes only with checks.
enum class SendOutcome { Ok, KeyEmpty, CommunicationFail, Damaged };
// "Send Ok!", "Key empty!", "Communication fail!" or "reply damaged".
const char* SendOutcomeText(SendOutcome outcome);
SendOutcome SendKey(CSerialLink& link, uint16_t keyIndex, uint8_t channelMask,
                    const ExchangeTiming& timing, CReplyChecks* checks = nullptr);

// Start a learn: purge and write the learn frame, no pause, no read.
void StartLearn(CSerialLink& link, uint16_t keyIndex);
// One learn poll: a read of the poll's size into buffer (at least that large).
uint32_t PollLearn(CSerialLink& link, uint8_t* buffer, const ExchangeTiming& timing);

// A learn's answer as the polls gathered it.
struct LearnOutcome {
    CLearnAnswer::State state = CLearnAnswer::State::Pending;
    uint8_t status = 0;           // the answer's status byte when answered
    std::vector<uint32_t> pieces; // byte counts of the polls that brought bytes
    int polls = 0;
    bool damaged = false; // with checks: the answer's CRC failed where it had held before
};
// Polls as the window's learn timer does, one poll every learnPollPeriodMs
// (polls do not pile up behind a long one), until the answer is complete or
// the empty polls run out. Pending only when running dropped to 0, or
// interrupt rose above 0, first.
LearnOutcome AwaitLearnAnswer(CSerialLink& link, const ExchangeTiming& timing,
                              const std::atomic<int32_t>* running = nullptr,
                              CReplyChecks* checks = nullptr,
                              const std::atomic<int32_t>* interrupt = nullptr);
// "Learn timeout!", "reply damaged" or the status text of the answer.
const char* LearnOutcomeText(const LearnOutcome& outcome);

// Export one slot: 0 failure, 8 empty slot, any other a code reply.
ExchangeReply ExportReadSlot(CSerialLink& link, uint16_t slot, const ExchangeTiming& timing,
                             CReplyChecks* checks = nullptr);

// How the write of one line ended. Refused and Damaged come only with checks.
struct WriteOutcome {
    enum class Result { Written, NotAcknowledged, Refused, Damaged, TooLong };
    Result result = Result::NotAcknowledged;
    uint8_t status = 0; // the acknowledgement's status byte when refused
    uint32_t attempts = 0;
    bool Written() const { return result == Result::Written; }
};
// Import one line: up to importAttempts exchanges until one is answered with
// exactly 8 bytes. Without checks those 8 bytes are the acknowledgement,
// whatever they hold; with checks a damaged one is another attempt and one
// whose status byte is not 0 is a refusal. TooLong, at once, for a code the
// write frame cannot carry.
WriteOutcome ImportWriteLine(CSerialLink& link, uint16_t keyIndex, const uint8_t* code,
                             uint32_t codeLength, const ExchangeTiming& timing,
                             CReplyChecks* checks = nullptr);
