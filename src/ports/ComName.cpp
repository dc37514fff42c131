#include "ComName.h"

#include <charconv>
#include <cstdlib>

std::optional<uint8_t> ParseComNumber(std::string_view name) {
    auto upper = [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
    };
    if (name.size() < 4 || upper(name[0]) != 'C' || upper(name[1]) != 'O' ||
        upper(name[2]) != 'M' || name[3] == '0') {
        return std::nullopt;
    }
    unsigned n = 0;
    const char* end = name.data() + name.size();
    const auto [stop, ec] = std::from_chars(name.data() + 3, end, n);
    if (ec != std::errc() || stop != end || n < 1 || n > 255) {
        return std::nullopt;
    }
    return static_cast<uint8_t>(n);
}

std::string ComName(unsigned n) {
    return "COM" + std::to_string(n);
}

uint8_t PortNumberOfItem(std::string_view text) {
    std::string digits;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    // strtol saturates a number too long for it; only the low 8 bits count.
    return static_cast<uint8_t>(std::strtol(digits.c_str(), nullptr, 10));
}
