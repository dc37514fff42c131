#pragma once

#include "CommandFrame.h"
#include "ExchangeTiming.h"

#include <array>
#include <cstdint>
#include <string>

class CSerialLink;

// What came back from one exchange: the bytes of the single read and their count.
struct ExchangeReply {
    std::array<uint8_t, 512> bytes{};
    uint32_t count = 0;
};

// Purge, write the whole frame, pause, one read of up to readSize bytes
// (at most 512). The write's result is not examined: a frame that did not go
// out shows as a missing reply.
ExchangeReply RunExchange(CSerialLink& link, const CommandFrame& frame, uint32_t pauseMs,
                          uint32_t readSize);

struct VersionOutcome {
    bool ok = false;  // a 19-byte version reply came
    std::string text; // its version text when ok
};
VersionOutcome GetVersion(CSerialLink& link, const ExchangeTiming& timing);

// Read a key: the whole reply, judged by its count by the caller
// (0 failure, 8 status reply, any other a code reply).
ExchangeReply ReadKey(CSerialLink& link, uint16_t keyIndex, const ExchangeTiming& timing);

enum class SendOutcome { Ok, KeyEmpty, CommunicationFail };
SendOutcome SendKey(CSerialLink& link, uint16_t keyIndex, uint8_t channelMask,
                    const ExchangeTiming& timing);

// Start a learn: purge and write the learn frame, no pause, no read.
void StartLearn(CSerialLink& link, uint16_t keyIndex);
// One learn poll: a read of up to learnPollReadSize bytes into buffer (>= that size).
uint32_t PollLearn(CSerialLink& link, uint8_t* buffer, const ExchangeTiming& timing);

// Export one slot: 0 failure, 8 empty slot, any other a code reply.
ExchangeReply ExportReadSlot(CSerialLink& link, uint16_t slot, const ExchangeTiming& timing);

// Import one line: up to importAttempts exchanges; true once one of them is
// answered with exactly 8 bytes. False at once for a code too long to send.
bool ImportWriteLine(CSerialLink& link, uint16_t keyIndex, const uint8_t* code,
                     uint32_t codeLength, const ExchangeTiming& timing);
