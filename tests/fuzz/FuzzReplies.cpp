#include "DatabaseFormat.h"
#include "Reply.h"

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
    }
    return 0;
}
