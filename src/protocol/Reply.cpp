#include "Reply.h"

#include <cstdio>

ReplyKind ClassifyReply(uint32_t count) {
    if (count == 0) {
        return ReplyKind::None;
    }
    if (count == STATUS_REPLY_SIZE) {
        return ReplyKind::Status;
    }
    if (count == VERSION_REPLY_SIZE) {
        return ReplyKind::Version;
    }
    return ReplyKind::Code;
}

uint8_t StatusByte(const uint8_t* reply, uint32_t count) {
    if (reply == nullptr || count < 6) {
        return 0;
    }
    return reply[5];
}

std::string VersionText(const uint8_t* reply, uint32_t count) {
    std::string text;
    if (reply == nullptr || count != VERSION_REPLY_SIZE) {
        return text;
    }
    const int offsets[6] = {7, 8, 9, 10, 11, 12};
    for (int i = 0; i < 6; ++i) {
        if (i == 3) {
            text.push_back('.');
        }
        const uint8_t c = reply[offsets[i]];
        if (c == 0x00) {
            break;
        }
        text.push_back(static_cast<char>(c));
    }
    return text;
}

CodeSpan CodeBytes(const uint8_t* reply, uint32_t count) {
    // Header of six bytes, CRC of two; shorter replies carry no code at all.
    if (reply == nullptr || count <= 8) {
        return CodeSpan{};
    }
    return CodeSpan{reply + 6, count - 8};
}

std::string HexGroups(const uint8_t* bytes, uint32_t count) {
    std::string text;
    text.reserve(size_t(count) * 3);
    char group[4];
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(group, sizeof group, "%02X ", bytes[i]);
        text += group;
    }
    return text;
}

const char* LearnStatusText(uint8_t status) {
    switch (status) {
    case 0:
        return "Learn Ok!";
    case 2:
        return "Carry wrong!";
    case 4:
        return "Save fail!";
    default:
        return "Learn fail!";
    }
}
