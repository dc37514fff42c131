#include "DatabaseFormat.h"
#include "Reply.h"
#include "ReplyChecks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Any reply of 0 to 600 bytes: classify it and read what each layout names.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 600) {
        return 0;
    }
    // An exact-size copy, so a read past the reply is caught.
    const std::vector<uint8_t> reply(data, data + size);
    const uint8_t* bytes = reply.empty() ? nullptr : reply.data();
    const uint32_t count = static_cast<uint32_t>(size);
    const ReplyKind kind = ClassifyReply(count);
    (void)StatusByte(bytes, count);
    const std::string text = VersionText(bytes, count);
    if (kind != ReplyKind::Version && !text.empty()) {
        __builtin_trap();
    }
    const CodeSpan code = CodeBytes(bytes, count);
    uint32_t sum = 0;
    for (uint32_t i = 0; i < code.size; ++i) {
        sum += code.data[i];
    }
    (void)sum;
    if (count >= 1 && count != 8) {
        const std::string line = FormatDatabaseLine(1, bytes, count);
        if (line.size() != 6 + 2 * code.size) {
            __builtin_trap();
        }
        // What an export writes, an import reads back byte for byte.
        const auto parsed = ParseDatabaseLine(line.substr(0, line.size() - 1), MAX_READ_CODE_BYTES);
        if (code.size <= MAX_READ_CODE_BYTES &&
            (!parsed || parsed->code != std::vector<uint8_t>(code.data, code.data + code.size))) {
            __builtin_trap();
        }
    }

    // The same bytes as a session's replies, judged one after another: a
    // kind is checked from its first valid CRC on, and only a checked kind
    // ever finds a reply damaged.
    CReplyChecks checks;
    const ReplyKind kinds[] = {ReplyKind::Status, ReplyKind::Code, ReplyKind::Version};
    for (uint32_t start = 0, i = 0; start < count; ++i) {
        const uint32_t length = std::min<uint32_t>(1 + reply[start] % 24, count - start);
        const ReplyKind judged = kinds[i % 3];
        const bool wasChecked = checks.IsChecked(judged);
        const auto verdict = checks.Judge(judged, bytes + start, length);
        const bool valid = ReplyCrcValid(bytes + start, length);
        if ((verdict == CReplyChecks::Verdict::Valid) != valid ||
            (verdict == CReplyChecks::Verdict::Damaged) != (wasChecked && !valid) ||
            checks.IsChecked(judged) != (wasChecked || valid)) {
            __builtin_trap();
        }
        start += length;
    }
    return 0;
}
