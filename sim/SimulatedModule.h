#pragma once

#include "FrameRecord.h"
#include "ModuleBehaviour.h"
#include "ModuleFrames.h"
#include "SafeFileWriter.h"
#include "SimFaults.h"
#include "SlotStore.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A simulated IR module on the master side of a pseudo-terminal: the line
// around CModuleBehaviour, which answers the frames.
//
// Request frames are delimited by line silence (FRAME_SILENCE_MS without a
// byte), as soon as a frame of known length is complete, or for a write frame
// a short quiet once its CRC holds. Frames with a
// wrong prefix, length or CRC are recorded and otherwise ignored, as a module
// would. Replies: a 19-byte version reply, a code reply (six header bytes, the
// code, two CRC bytes) and an 8-byte status reply with the status at offset 5.
// Replies go out at the line's pace (CPacedOutput); those nobody reads are
// kept only up to a few kilobytes, so a long run stays the same size.
class SimulatedModule {
public:
    static constexpr uint32_t FRAME_SILENCE_MS = FRAME_SILENCE.count();
    // Slots 1..SLOT_COUNT; an empty code means an empty slot.
    static constexpr uint16_t SLOT_COUNT = CSlotStore::SLOT_COUNT;
    // A code reply must fit the host's 512-byte read.
    static constexpr uint32_t MAX_SLOT_CODE_BYTES = CSlotStore::MAX_CODE_BYTES;
    // Status bytes of the answers, and a learn's flood: see CModuleBehaviour.
    static constexpr uint8_t STATUS_OK = CModuleBehaviour::STATUS_OK;
    static constexpr uint8_t STATUS_EMPTY = CModuleBehaviour::STATUS_EMPTY;
    static constexpr uint8_t STATUS_SAVE_FAIL = CModuleBehaviour::STATUS_SAVE_FAIL;
    static constexpr std::array<uint8_t, 3> FLOOD_PIECE = CModuleBehaviour::FLOOD_PIECE;
    static constexpr uint32_t FLOOD_INTERVAL_MS = CModuleBehaviour::FLOOD_INTERVAL.count();

    SimulatedModule();  // slots seeded with a few codes, version "102003"
    ~SimulatedModule(); // stops serving
    SimulatedModule(const SimulatedModule&) = delete;
    SimulatedModule& operator=(const SimulatedModule&) = delete;

    // Opens the pseudo-terminal (slave set raw, one slave descriptor kept
    // open) and starts the serving thread. True when already serving.
    bool Start();
    // Stops the thread, withdraws the publication, leaves the room and closes
    // the terminal. A learn still pending is dropped.
    void Stop();
    bool IsRunning() const;

    // Publishes the slave as comName (e.g. "COM9") in the port directory,
    // holding COM<n>.lock until Stop. False when not started, the name is taken
    // or the port directory is not safe, with the reason in *reason when given.
    bool Publish(const std::string& comName, std::string* reason = nullptr);
    // The published link, empty when not published.
    std::string PublishedLink() const;
    const std::string& SlavePath() const;

    // Joins the room name (see Room.h), before or while serving, leaving the
    // room it was in; until Stop or LeaveRoom the module hears the room and
    // is heard in it. A Send of a slot that holds a code puts the code into
    // the room. A learn then takes the first code that comes in within
    // SimFaults::learnWindowMs instead of generating one: it stores it and
    // answers status 0 (or learnStatus), STATUS_SAVE_FAIL for a code longer
    // than a slot holds; with none it ends unanswered. Codes that come while
    // no learn waits are lost. False, in no room, when the name is bad or
    // the room's folder is not safe, with the reason in *reason when given.
    bool JoinRoom(const std::string& name, std::string* reason = nullptr);
    void LeaveRoom();
    // The room the module is in, empty when in none.
    std::string RoomName() const;

    // Also restarts the count of refused writes and of replies (for damageEvery).
    void SetFaults(const SimFaults& faults);
    SimFaults Faults() const;

    // Up to six characters, sent at offsets 7-12 of the version reply; a
    // shorter text is padded with 0x00 bytes.
    void SetFirmwareVersion(const std::string& version);
    std::string FirmwareVersion() const;

    // False for an index outside 1..SLOT_COUNT or a code above MAX_SLOT_CODE_BYTES.
    bool SetSlot(uint16_t index, std::vector<uint8_t> code);
    std::vector<uint8_t> Slot(uint16_t index) const; // empty outside 1..SLOT_COUNT
    void ClearSlots();
    // Replaces every slot with the file's lines (codes of up to
    // MAX_SLOT_CODE_BYTES); slots it does not name are empty. All or nothing:
    // false (slots unchanged) when the file cannot be read or a line is
    // malformed or names a slot outside 1..SLOT_COUNT; error then names the
    // line and the reason.
    bool LoadDatabase(const std::string& path, std::string* error = nullptr);
    // Writes every slot that holds a code in the database format, in slot order,
    // to a fresh file beside path that then takes its place. Only a regular
    // file is replaced, and it keeps its mode; a link, device or folder at
    // path is refused and left alone.
    SaveOutcome SaveDatabase(const std::string& path) const;

    // The frames received (valid or not), byte for byte, in order. Only the
    // newest are held: at most CFrameRecord::MAX_FRAMES frames (4096) and
    // CFrameRecord::MAX_BYTES bytes of frames (256 KiB), the oldest dropped
    // first, so that a long run does not grow the module.
    std::vector<std::vector<uint8_t>> ReceivedFrames() const;
    // Drops the frames held and restarts the count WaitForFrames waits on.
    void ClearReceivedFrames();
    // Waits until at least count frames have been received since the last
    // ClearReceivedFrames (or the start), held or already dropped; false at
    // the deadline.
    bool WaitForFrames(size_t count, std::chrono::milliseconds timeout) const;

    // Called on the serving thread for every frame, with its verdict, before
    // the frame is answered.
    using FrameObserver = std::function<void(const std::vector<uint8_t>& frame, bool valid)>;
    void SetFrameObserver(FrameObserver observer);

    // The reply the module gives for a slot holding code (no CRC check on the host side).
    static std::vector<uint8_t> CodeReply(const std::vector<uint8_t>& code);
    static std::vector<uint8_t> StatusReply(uint8_t status);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
