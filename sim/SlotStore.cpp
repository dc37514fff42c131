#include "SlotStore.h"

#include "DatabaseFormat.h"
#include "ModuleFrames.h"

bool CSlotStore::Set(uint16_t index, std::vector<uint8_t> code) {
    if (index < 1 || index > SLOT_COUNT || code.size() > MAX_CODE_BYTES) {
        return false;
    }
    if (code.empty()) {
        m_codes.erase(index);
    } else {
        m_codes[index] = std::move(code);
    }
    return true;
}

std::vector<uint8_t> CSlotStore::Get(uint16_t index) const {
    const auto it = m_codes.find(index);
    return it == m_codes.end() ? std::vector<uint8_t>{} : it->second;
}

bool CSlotStore::FromDatabaseFile(const std::string& path, CSlotStore& store, std::string& error) {
    const DatabaseFileLines file = ReadDatabaseFile(path);
    if (!file.ok) {
        error = file.error;
        return false;
    }
    CSlotStore loaded;
    for (size_t i = 0; i < file.lines.size(); ++i) {
        const std::string where = "line " + std::to_string(i + 1) + ": ";
        std::string reason;
        // A module holds whatever an export can write, longer codes than an
        // import can send included.
        auto line = ParseDatabaseLine(file.lines[i], MAX_CODE_BYTES, &reason);
        if (!line) {
            error = where + reason;
            return false;
        }
        // The line's check keeps slot and code within the store's bounds.
        loaded.Set(line->keyIndex, std::move(line->code));
    }
    store = std::move(loaded);
    return true;
}

std::string CSlotStore::DatabaseText() const {
    std::string text;
    for (const auto& [index, code] : m_codes) {
        const auto reply = CodeReply(code);
        text += FormatDatabaseLine(index, reply.data(), static_cast<uint32_t>(reply.size()));
    }
    return text;
}
