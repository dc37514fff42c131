#include "DatabaseFormat.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// File text from anywhere: split, parse every line, and decode with a small
// buffer too, so the capacity limit is exercised.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& line : SplitDatabaseText(text)) {
        const auto parsed = ParseDatabaseLine(line);
        if (parsed && parsed->code.size() > MAX_WRITE_CODE_BYTES) {
            __builtin_trap();
        }
        uint8_t small[7];
        if (HexTextToBytes(line, small, sizeof small) > sizeof small) {
            __builtin_trap();
        }
    }
    return 0;
}
