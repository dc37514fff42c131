#pragma once

#include "Console.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// The live progress of every port's transfer on the terminal: one row a
// port with a bar, the slot or line count, the rate and the time left; with
// more than BARS_UP_TO ports one summary line instead, unless every bar is
// asked for. Nothing is drawn when disabled (standard error not a terminal,
// --quiet).
class CProgressBoard {
public:
    // A terminal holds this many rows of bars without scrolling.
    static constexpr size_t BARS_UP_TO = 8;

    CProgressBoard(CConsole& console, std::vector<std::string> labels, bool enabled,
                   bool everyBar = false);
    ~CProgressBoard();
    CProgressBoard(const CProgressBoard&) = delete;
    CProgressBoard& operator=(const CProgressBoard&) = delete;

    bool Enabled() const { return m_enabled; }
    // A new transfer on row: what it does ("export"), its unit ("slots"), its total.
    void Begin(size_t row, const std::string& task, const std::string& unit, int32_t total);
    void Update(size_t row, int32_t done);
    void End(size_t row, const std::string& outcome);
    // A row of free text in place of a bar (a prompt); empty gives the row back.
    void Note(size_t row, const std::string& text);
    // Takes the board off the screen (also done when it goes).
    void Finish();

    // One row's text as drawn (for its own tests).
    static std::string RowText(const std::string& label, const std::string& task,
                               const std::string& unit, int32_t done, int32_t total, double seconds,
                               const std::string& outcome);

    // "64 modules: 12,345 of 28,672 slots, 2 failed, 0:31 left"; secondsLeft
    // below 0 while no rate is known yet.
    static std::string SummaryText(size_t modules, int64_t done, int64_t total,
                                   const std::string& unit, size_t failed, double secondsLeft);

private:
    using Clock = std::chrono::steady_clock;
    struct Row {
        std::string label, task, unit, outcome, note;
        int32_t done = 0, total = 0;
        Clock::time_point start{};
        double seconds = 0.0; // the time it took, once ended
        bool active = false;
    };
    void DrawLocked(bool force);
    std::string SummaryLocked(Clock::time_point now) const;

    CConsole& m_console;
    bool m_enabled;
    bool m_summary;
    std::mutex m_mutex;
    std::vector<Row> m_rows;
    Clock::time_point m_lastDraw{};
    bool m_drawn = false;
};

// One port's row, for the code that runs the port's transfer.
class CProgressRow {
public:
    CProgressRow() = default;
    CProgressRow(CProgressBoard* board, size_t row) : m_board(board), m_row(row) {}
    void Begin(const std::string& task, const std::string& unit, int32_t total) {
        if (m_board) {
            m_board->Begin(m_row, task, unit, total);
        }
    }
    void Update(int32_t done) {
        if (m_board) {
            m_board->Update(m_row, done);
        }
    }
    void End(const std::string& outcome) {
        if (m_board) {
            m_board->End(m_row, outcome);
        }
    }
    void Note(const std::string& text) {
        if (m_board) {
            m_board->Note(m_row, text);
        }
    }
    // Whether anything is drawn at all.
    bool Shown() const { return m_board != nullptr && m_board->Enabled(); }

private:
    CProgressBoard* m_board = nullptr;
    size_t m_row = 0;
};
