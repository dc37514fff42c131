#include "Console.h"

#include "ShownText.h"

namespace {

void AppendRows(std::string& out, const std::vector<std::string>& rows) {
    for (const std::string& row : rows) {
        out += "\x1b[2K"; // the whole line, whatever was there
        out += row;
        out += '\n';
    }
}

} // namespace

void CConsole::EraseBoardLocked(std::string& out) {
    if (m_board.empty()) {
        return;
    }
    // Up to the board's first row, then clear to the end of the screen.
    out += "\x1b[" + std::to_string(m_board.size()) + "F\x1b[J";
}

void CConsole::Line(const std::string& text) {
    std::lock_guard lock(m_mutex);
    std::string out;
    EraseBoardLocked(out);
    out += ShownText(text);
    out += '\n';
    AppendRows(out, m_board);
    m_err << out << std::flush;
}

void CConsole::DrawBoard(const std::vector<std::string>& rows) {
    std::lock_guard lock(m_mutex);
    std::string out;
    if (m_board.size() == rows.size() && !rows.empty()) {
        out += "\x1b[" + std::to_string(rows.size()) + "F";
    } else {
        EraseBoardLocked(out);
    }
    AppendRows(out, rows);
    m_board = rows;
    m_err << out << std::flush;
}

void CConsole::ClearBoard() {
    std::lock_guard lock(m_mutex);
    std::string out;
    EraseBoardLocked(out);
    m_board.clear();
    m_err << out << std::flush;
}
