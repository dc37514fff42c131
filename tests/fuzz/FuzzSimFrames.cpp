#include "CommandFrame.h"
#include "Crc16.h"
#include "FrameLayout.h"
#include "ModuleFrames.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

// The simulated module's frame cutting, fed as its serving loop is: bytes
// arrive in pieces, and after some pieces the line falls silent. The input is
// a run of pieces, each a control byte and up to 63 bytes. The control byte's
// low six bits say how many bytes follow; bit 6 appends the CRC of all the
// bytes held, so that whole valid frames of any layout arrive; bit 7 lets the
// line fall silent after the piece, and a piece of no bytes without it is a
// short quiet (the one that ends a write frame whose CRC holds).
namespace {

constexpr uint8_t SILENCE_AFTER = 0x80;
constexpr uint8_t CRC_AFTER = 0x40;
constexpr uint8_t PIECE_SIZE_MASK = 0x3F;

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// What the module relies on when it answers a frame it found valid.
void CheckValidFrame(const std::vector<uint8_t>& frame) {
    // The key index is read from every valid frame, whatever its command.
    Check(frame.size() >= FRAME_OVERHEAD);
    Check(frame.size() >= FRAME_KEY_INDEX_OFFSET + KEY_INDEX_SIZE);
    Check(std::equal(FRAME_PREFIX.begin(), FRAME_PREFIX.end(), frame.begin()));
    uint8_t crc[CRC_SIZE];
    Crc16(frame.data(), static_cast<uint32_t>(frame.size() - CRC_SIZE), crc);
    Check(frame[frame.size() - 2] == crc[0] && frame[frame.size() - 1] == crc[1]);
    if (frame[FRAME_COMMAND_OFFSET] == CMD_WRITE) {
        Check(frame[FRAME_LENGTH_OFFSET] == WRITE_LENGTH_BYTE);
        Check(frame.size() >= WRITE_CODE_OFFSET + CRC_SIZE);
    } else {
        // A frame of known length is cut at that length, silence or not.
        const auto expected = ExpectedFrameLength(frame);
        Check(expected && *expected == frame.size());
    }
}

// One pass of the serving loop over what it holds.
void CutFrames(std::vector<uint8_t>& incoming, std::chrono::nanoseconds quiet) {
    const bool silenceReached = quiet >= FRAME_SILENCE;
    for (;;) {
        const size_t take = NextFrameSize(incoming, quiet);
        Check(take <= incoming.size());
        Check(take <= FRAME_CAPACITY);
        if (take == 0) {
            // Waiting only while a request may still be coming.
            Check(incoming.empty() || !silenceReached);
            Check(incoming.size() < FRAME_CAPACITY);
            return;
        }
        // An exact-size copy, so a read past the frame is caught.
        const std::vector<uint8_t> frame(incoming.begin(), incoming.begin() + take);
        incoming.erase(incoming.begin(), incoming.begin() + take);
        if (IsValidFrame(frame)) {
            CheckValidFrame(frame);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> incoming;
    size_t at = 0;
    while (at < size) {
        const uint8_t control = data[at++];
        const size_t count = std::min<size_t>(control & PIECE_SIZE_MASK, size - at);
        incoming.insert(incoming.end(), data + at, data + at + count);
        at += count;
        if ((control & CRC_AFTER) != 0) {
            uint8_t crc[CRC_SIZE];
            Crc16(incoming.data(), static_cast<uint32_t>(incoming.size()), crc);
            incoming.insert(incoming.end(), crc, crc + CRC_SIZE);
        }
        std::chrono::nanoseconds quiet{0};
        if ((control & SILENCE_AFTER) != 0) {
            quiet = FRAME_SILENCE;
        } else if (count == 0) {
            quiet = WRITE_END_QUIET;
        }
        CutFrames(incoming, quiet);
    }
    // The line stays silent at the end: the module takes everything left.
    CutFrames(incoming, FRAME_SILENCE);
    Check(incoming.empty());
    return 0;
}
