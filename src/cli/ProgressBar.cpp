#include "ProgressBar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int BAR_WIDTH = 24;
// Redraws closer than this are skipped; the last state is always drawn.
constexpr auto REDRAW_PERIOD = std::chrono::milliseconds(100);

std::string Duration(double seconds) {
    const long s = std::lround(std::max(0.0, seconds));
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    }
    return text;
}

// 28672 as "28,672".
std::string Grouped(int64_t n) {
    std::string digits = std::to_string(std::max<int64_t>(n, 0));
    for (size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}

} // namespace

CProgressBoard::CProgressBoard(CConsole& console, std::vector<std::string> labels, bool enabled,
                               bool everyBar)
    : m_console(console), m_enabled(enabled), m_summary(!everyBar && labels.size() > BARS_UP_TO) {
    for (std::string& label : labels) {
        Row row;
        row.label = std::move(label);
        m_rows.push_back(std::move(row));
    }
}

CProgressBoard::~CProgressBoard() {
    Finish();
}

std::string CProgressBoard::RowText(const std::string& label, const std::string& task,
                                    const std::string& unit, int32_t done, int32_t total,
                                    double seconds, const std::string& outcome) {
    const int32_t shown = std::clamp(done, 0, std::max(total, 0));
    const int filled = total > 0 ? static_cast<int>(int64_t{shown} * BAR_WIDTH / total) : 0;
    std::string text = label + " " + task + " [" + std::string(filled, '#') +
                       std::string(BAR_WIDTH - filled, '-') + "] " + std::to_string(shown) + "/" +
                       std::to_string(total) + " " + unit;
    if (!outcome.empty()) {
        return text + "  " + outcome + " in " + Duration(seconds);
    }
    if (shown > 0 && seconds > 0.0) {
        const double rate = shown / seconds;
        char figures[64];
        std::snprintf(figures, sizeof figures, "  %.1f %s/s", rate, unit.c_str());
        text += figures;
        text += "  " + Duration((total - shown) / rate) + " left";
    }
    return text;
}

std::string CProgressBoard::SummaryText(size_t modules, int64_t done, int64_t total,
                                        const std::string& unit, size_t failed,
                                        double secondsLeft) {
    std::string text = std::to_string(modules) + " modules: " + Grouped(done) + " of " +
                       Grouped(total) + " " + unit + ", " + std::to_string(failed) + " failed";
    if (secondsLeft >= 0.0) {
        text += ", " + Duration(secondsLeft) + " left";
    }
    return text;
}

std::string CProgressBoard::SummaryLocked(Clock::time_point now) const {
    int64_t done = 0;
    int64_t total = 0;
    size_t failed = 0;
    std::string unit = "slots";
    Clock::time_point start = now;
    for (const Row& r : m_rows) {
        if (!r.active) {
            continue;
        }
        done += std::clamp(r.done, 0, std::max(r.total, 0));
        total += std::max(r.total, 0);
        failed += !r.outcome.empty() && r.outcome != "ok" ? 1 : 0;
        unit = r.unit;
        start = std::min(start, r.start);
    }
    const double seconds = std::chrono::duration<double>(now - start).count();
    const double left = done > 0 && seconds > 0.0 ? static_cast<double>(total - done) * seconds /
                                                        static_cast<double>(done)
                                                  : -1.0;
    return SummaryText(m_rows.size(), done, total, unit, failed, left);
}

void CProgressBoard::Begin(size_t row, const std::string& task, const std::string& unit,
                           int32_t total) {
    std::lock_guard lock(m_mutex);
    if (row >= m_rows.size()) {
        return;
    }
    Row& r = m_rows[row];
    r.task = task;
    r.unit = unit;
    r.total = total;
    r.done = 0;
    r.outcome.clear();
    r.start = Clock::now();
    r.active = true;
    DrawLocked(true);
}

void CProgressBoard::Update(size_t row, int32_t done) {
    std::lock_guard lock(m_mutex);
    if (row >= m_rows.size()) {
        return;
    }
    m_rows[row].done = done;
    DrawLocked(false);
}

void CProgressBoard::End(size_t row, const std::string& outcome) {
    std::lock_guard lock(m_mutex);
    if (row >= m_rows.size()) {
        return;
    }
    Row& r = m_rows[row];
    r.outcome = outcome;
    r.seconds = std::chrono::duration<double>(Clock::now() - r.start).count();
    DrawLocked(true);
}

void CProgressBoard::Note(size_t row, const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (row >= m_rows.size()) {
        return;
    }
    m_rows[row].note = text;
    DrawLocked(true);
}

void CProgressBoard::Finish() {
    std::lock_guard lock(m_mutex);
    if (m_drawn) {
        m_console.ClearBoard();
    }
    m_drawn = false;
}

void CProgressBoard::DrawLocked(bool force) {
    if (!m_enabled) {
        return;
    }
    const auto now = Clock::now();
    if (!force && m_drawn && now - m_lastDraw < REDRAW_PERIOD) {
        return;
    }
    m_lastDraw = now;
    std::vector<std::string> lines;
    if (m_summary) {
        lines.push_back(SummaryLocked(now));
    }
    for (const Row& r : m_rows) {
        if (!r.note.empty()) {
            lines.push_back(r.note);
            continue;
        }
        if (m_summary) {
            continue;
        }
        if (!r.active) {
            lines.push_back(r.label);
            continue;
        }
        const double seconds =
            r.outcome.empty() ? std::chrono::duration<double>(now - r.start).count() : r.seconds;
        lines.push_back(RowText(r.label, r.task, r.unit, r.done, r.total, seconds, r.outcome));
    }
    m_console.DrawBoard(lines);
    m_drawn = true;
}
