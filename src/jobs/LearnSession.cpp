#include "LearnSession.h"

#include "DatabaseFormat.h"
#include "FileLines.h"

#include <cerrno>
#include <sys/stat.h>

bool CLearnSession::Load(std::string* problem) {
    m_codes.clear();
    struct stat st {};
    if (lstat(m_path.c_str(), &st) != 0 && errno == ENOENT) {
        return true;
    }
    const DatabaseFileLines file = ReadDatabaseFile(m_path);
    if (!file.ok) {
        *problem = m_path + ": " + file.error;
        return false;
    }
    SlotContent content = SlotsOfLines(file.lines);
    if (!content.malformed.empty()) {
        const auto& [line, fault] = content.malformed.front();
        *problem = m_path + " is not a database file: line " + std::to_string(line) + ": " +
                   LineFaultText(fault);
        return false;
    }
    m_codes = std::move(content.codes);
    return true;
}

std::string CLearnSession::Text() const {
    std::string text;
    for (const auto& [slot, code] : m_codes) {
        text += FormatCodeLine(slot, code.data(), code.size());
    }
    return text;
}

SaveOutcome CLearnSession::Save() const {
    return ReplaceFileContents(m_path, Text());
}

std::string SessionPathFor(const std::string& mapPath) {
    return mapPath + ".session";
}
