#pragma once

#include "SimFaults.h"
#include "SlotStore.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

// What a simulated module does with the frames it is given, apart from any
// line: a whole request frame in, the reply bytes out as the module sends
// them, the faults applied (silence, slots that go unanswered, refused or
// cut acknowledgements, chosen statuses, damaged CRCs). It holds the
// module's state: slots, version, faults and their counts, and a pending
// learn. The clock reading is a parameter, so that learns and floods are
// followed without sleeping. Not locked: its owner guards it.
class CModuleBehaviour {
public:
    using Clock = std::chrono::steady_clock;
    using Bytes = std::vector<uint8_t>;

    // Status bytes of the answers.
    static constexpr uint8_t STATUS_OK = 0;
    static constexpr uint8_t STATUS_EMPTY = 1;
    static constexpr uint8_t STATUS_SAVE_FAIL = 4; // a learn that cannot store its code
    // What a learn's flood (SimFaults::floodLearn) sends, again and again: in
    // pieces of three bytes no poll can add up to an 8-byte answer.
    static constexpr std::array<uint8_t, 3> FLOOD_PIECE{0x5A, 0xA5, 0xFF};
    static constexpr std::chrono::milliseconds FLOOD_INTERVAL{50};

    // What one step gives the line and the room.
    struct Step {
        std::optional<Bytes> reply; // to go out as it stands
        std::optional<Bytes> light; // a Send's code, put into the room first
        bool floodPiece = false;    // FLOOD_PIECE goes out, unless a reply is still going
    };

    CModuleBehaviour(); // slots seeded with a few codes, version "102003"

    // A frame as the line delimited it, valid or not; any frame ends a
    // learn's flood. inRoom: a learn waits for a code from the room instead
    // of generating one.
    Step Answer(const Bytes& frame, Clock::time_point now, bool inRoom);
    // A code that came in from the room: the learn waiting for one takes it;
    // otherwise it is lost, as light nobody watches for.
    Step Capture(const Bytes& code);
    // When Tick has something to do: a learn's end or a flood's next piece.
    std::optional<Clock::time_point> NextDue() const;
    // What is due at now: a learn's answer (a learn in a room whose window
    // has passed ends unanswered) or a flood's piece.
    Step Tick(Clock::time_point now);
    // Drops a pending learn and flood.
    void DropPending();

    // Also restarts the count of refused writes and of replies (for damageEvery).
    void SetFaults(const SimFaults& faults);
    const SimFaults& Faults() const { return m_faults; }
    // Up to six characters; a shorter text is padded with 0x00 bytes.
    void SetFirmwareVersion(const std::string& version);
    std::string FirmwareVersion() const;
    CSlotStore& Slots() { return m_slots; }
    const CSlotStore& Slots() const { return m_slots; }

private:
    struct PendingLearn {
        Clock::time_point due; // of the answer; of the end of the window in a room
        uint16_t index = 0;
        bool inRoom = false;
    };

    std::optional<Bytes> ReplyToRead(uint16_t index);
    std::optional<Bytes> ReplyToWrite(const Bytes& frame, uint16_t index);
    void StartLearn(uint16_t index, Clock::time_point now, bool inRoom);
    std::optional<Bytes> AnswerLearn(const Bytes* captured);
    // Counts the reply and lets the faults change its bytes; cutTo of them go out.
    Bytes AsSent(Bytes reply, ReplyKind kind, size_t cutTo = SIZE_MAX);

    SimFaults m_faults;
    uint32_t m_writesToRefuse = 0;
    size_t m_writesAnswered = 0; // write frames seen after the refused ones
    uint64_t m_repliesSent = 0;  // since the faults were set
    std::array<uint8_t, 6> m_version{'1', '0', '2', '0', '0', '3'};
    CSlotStore m_slots;
    uint32_t m_learnCount = 0;
    std::optional<PendingLearn> m_learn;
    std::optional<Clock::time_point> m_floodDue;   // the next piece of a learn's flood
    std::mt19937 m_random{std::random_device{}()}; // the capture noise's
};
