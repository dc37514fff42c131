#pragma once

#include "CommandFrame.h"
#include "ExchangeTiming.h"
#include "LearnAnswer.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

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
// "Send Ok!", "Key empty!" or "Communication fail!".
const char* SendOutcomeText(SendOutcome outcome);
SendOutcome SendKey(CSerialLink& link, uint16_t keyIndex, uint8_t channelMask,
                    const ExchangeTiming& timing);

// Start a learn: purge and write the learn frame, no pause, no read.
void StartLearn(CSerialLink& link, uint16_t keyIndex);
// One learn poll: a read of up to learnPollReadSize bytes into buffer (>= that size).
uint32_t PollLearn(CSerialLink& link, uint8_t* buffer, const ExchangeTiming& timing);

// A learn's answer as the polls gathered it.
struct LearnOutcome {
    CLearnAnswer::State state = CLearnAnswer::State::Pending;
    uint8_t status = 0;           // the answer's status byte when answered
    std::vector<uint32_t> pieces; // byte counts of the polls that brought bytes
    int polls = 0;
};
// Polls as the window's learn timer does, one poll every learnPollPeriodMs
// (polls do not pile up behind a long one), until the answer is complete or
// the empty polls run out. Pending only when running dropped to 0 first.
LearnOutcome AwaitLearnAnswer(CSerialLink& link, const ExchangeTiming& timing,
                              const std::atomic<int32_t>* running = nullptr);
// "Learn timeout!" or the status text of the answer.
const char* LearnOutcomeText(const LearnOutcome& outcome);

// Export one slot: 0 failure, 8 empty slot, any other a code reply.
ExchangeReply ExportReadSlot(CSerialLink& link, uint16_t slot, const ExchangeTiming& timing);

// Import one line: up to importAttempts exchanges; true once one of them is
// answered with exactly 8 bytes. False at once for a code too long to send.
bool ImportWriteLine(CSerialLink& link, uint16_t keyIndex, const uint8_t* code, uint32_t codeLength,
                     const ExchangeTiming& timing);
