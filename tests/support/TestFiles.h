#pragma once

#include <fstream>
#include <iterator>
#include <string>

// A whole file's bytes, as they are on disk (empty when it cannot be read).
inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
