#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Faults a test or trial can switch on; all off by default.
struct SimFaults {
    bool silent = false;                 // answer nothing at all
    int stopAfterSlot = -1;              // no answer to reads of slots above this (-1: off)
    std::vector<uint32_t> replyPieces;   // split every reply into pieces of these sizes
    uint32_t pieceGapMs = 0;             // silence between two pieces
    int learnStatus = 0;                 // status byte of a learn answer
    uint32_t learnDelayMs = 1500;        // time from a learn frame to its answer
    uint32_t refuseWrites = 0;           // leave this many write frames unacknowledged
    bool paced9600 = false;              // send each byte at the 9600-baud byte time
};

// A simulated IR module on the master side of a pseudo-terminal.
class SimulatedModule {
public:
    SimulatedModule();
    ~SimulatedModule(); // stops serving
    SimulatedModule(const SimulatedModule&) = delete;
    SimulatedModule& operator=(const SimulatedModule&) = delete;

    // Opens the pseudo-terminal (slave set raw, one slave descriptor kept
    // open) and starts the serving thread.
    bool Start();
    void Stop();

    // Publishes the slave as comName (e.g. "COM9") in the port directory.
    bool Publish(const std::string& comName);
    const std::string& SlavePath() const;

    void SetFaults(const SimFaults& faults);
    SimFaults Faults() const;

    // Slots 1..SLOT_COUNT; an empty code means an empty slot.
    static constexpr uint16_t SLOT_COUNT = 448;
    void SetSlot(uint16_t index, std::vector<uint8_t> code);
    std::vector<uint8_t> Slot(uint16_t index) const;
    void ClearSlots();
    bool LoadDatabase(const std::string& path);
    bool SaveDatabase(const std::string& path) const;

    // Every frame received (valid or not), byte for byte, in order.
    std::vector<std::vector<uint8_t>> ReceivedFrames() const;
    void ClearReceivedFrames();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
