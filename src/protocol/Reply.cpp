#include "Reply.h"

#include "FrameLayout.h"

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

ReplyKind ClassifyReadReply(uint32_t count) {
    const ReplyKind kind = ClassifyReply(count);
    return kind == ReplyKind::Version ? ReplyKind::Code : kind;
}

uint8_t StatusByte(const uint8_t* reply, uint32_t count) {
    if (reply == nullptr || count <= REPLY_STATUS_OFFSET) {
        return 0;
    }
    return reply[REPLY_STATUS_OFFSET];
}

std::string VersionText(const uint8_t* reply, uint32_t count) {
    std::string text;
    if (reply == nullptr || count != VERSION_REPLY_SIZE) {
        return text;
    }
    for (uint32_t i = 0; i < VERSION_TEXT_SIZE; ++i) {
        if (i == VERSION_DOT_AFTER) {
            text.push_back('.');
        }
        const uint8_t c = reply[VERSION_TEXT_OFFSET + i];
        if (c == 0x00) {
            break;
        }
        text.push_back(static_cast<char>(c));
    }
    return text;
}

CodeSpan CodeBytes(const uint8_t* reply, uint32_t count) {
    // Shorter replies than a header and a CRC carry no code at all.
    if (reply == nullptr || count <= REPLY_HEADER_SIZE + CRC_SIZE) {
        return CodeSpan{};
    }
    return CodeSpan{reply + REPLY_HEADER_SIZE, count - REPLY_HEADER_SIZE - CRC_SIZE};
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
