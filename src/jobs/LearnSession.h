#pragma once

#include "SafeFileWriter.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The codes a walk through a remote has learned so far, kept in an ordinary
// database file (import and verify take it). It is replaced whole after
// every key, so that an interruption at any moment leaves it complete up to
// the last key learned. Slots it holds that the map does not name are kept.
class CLearnSession {
public:
    explicit CLearnSession(std::string path) : m_path(std::move(path)) {}

    // Reads the file if there is one (none: a fresh session). False, with the
    // reason, for a file that cannot be read or is not a database file: it
    // is then left alone.
    bool Load(std::string* problem);
    void Forget() { m_codes.clear(); }

    bool Holds(uint16_t slot) const { return m_codes.count(slot) != 0; }
    const std::vector<uint8_t>& Code(uint16_t slot) const { return m_codes.at(slot); }
    void Put(uint16_t slot, std::vector<uint8_t> code) { m_codes[slot] = std::move(code); }
    SaveOutcome Save() const;

    const std::string& Path() const { return m_path; }
    // The file's text: one database line per slot, in slot order.
    std::string Text() const;

private:
    std::string m_path;
    std::map<uint16_t, std::vector<uint8_t>> m_codes;
};

// Where the session of a map is kept unless another file is named: MAP.session.
std::string SessionPathFor(const std::string& mapPath);
