#include "ReplyFaults.h"

#include "Crc16.h"
#include "FrameLayout.h"

std::vector<uint8_t> WithoutValidCrc(std::vector<uint8_t> reply) {
    if (reply.size() < CRC_SIZE) {
        return reply;
    }
    const uint32_t covered = static_cast<uint32_t>(reply.size() - CRC_SIZE);
    const uint8_t filler = Crc16Value(reply.data(), covered) == 0 ? 0xFF : 0x00;
    reply[covered] = filler;
    reply[covered + 1] = filler;
    return reply;
}

std::vector<uint8_t> ReplyAsSent(std::vector<uint8_t> reply, ReplyKind kind, uint64_t number,
                                 const SimFaults& faults) {
    if (faults.noCrcKinds.contains(kind)) {
        reply = WithoutValidCrc(std::move(reply));
    }
    if (faults.damageEvery != 0 && number % faults.damageEvery == 0 && !reply.empty()) {
        reply.back() ^= 0xFF;
    }
    return reply;
}
