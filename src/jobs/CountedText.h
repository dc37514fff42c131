#pragma once

#include <cstddef>
#include <string>

// "1 key", "3 keys": a count with its noun, singular for one.
inline std::string Counted(size_t n, const std::string& one, const std::string& many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}
inline std::string Counted(size_t n, const std::string& one) {
    return Counted(n, one, one + "s");
}
