#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

// Standard error shared by every port's thread: whole lines (messages,
// trace) and, on a terminal, the progress board kept below them.
class CConsole {
public:
    explicit CConsole(std::ostream& err) : m_err(err) {}

    // One whole line; the board, if drawn, is redrawn below it.
    void Line(const std::string& text);
    // Draws the board's rows in place of the ones drawn before.
    void DrawBoard(const std::vector<std::string>& rows);
    // Takes the board off the screen.
    void ClearBoard();

private:
    void EraseBoardLocked(std::string& out);

    std::mutex m_mutex;
    std::ostream& m_err;
    std::vector<std::string> m_board;
};
