#include "ModuleJournal.h"

#include "DatabaseFile.h"
#include "DatabaseFormat.h"
#include "SafeFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* UNFINISHED = " (unfinished)";
// A run's summary while it runs, after its words: the slots it has written so
// far are those of its .txt file, and a reader names them.
constexpr const char* RUNNING = ": slots being written (unfinished)";
constexpr size_t STAMP_LENGTH = 15; // YYYYMMDD-HHMMSS

std::string EnvOr(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string FolderFile(const std::string& folder, const std::string& id, const char* ext) {
    return (fs::path(folder) / (id + ext)).string();
}

std::string DatabaseText(const std::vector<uint16_t>& order,
                         const std::map<uint16_t, std::vector<uint8_t>>& codes) {
    std::string text;
    for (const uint16_t slot : order) {
        if (const auto it = codes.find(slot); it != codes.end()) {
            text += FormatCodeLine(slot, it->second.data(), it->second.size());
        }
    }
    return text;
}

// ": 3 slots written: 3, 7, 12"
std::string WrittenText(const std::vector<uint16_t>& order) {
    return ": " + std::to_string(order.size()) + (order.size() == 1 ? " slot" : " slots") +
           " written: " + SlotListText(order);
}

// slot -> code of a journal file, a later line of a slot over an earlier
// one; false when it cannot be read. A last line without its end is one that
// a killed run was adding: its slot was never written after it.
bool ReadCodes(const std::string& path, std::vector<uint16_t>* order,
               std::map<uint16_t, std::vector<uint8_t>>& codes, std::string& error) {
    CDatabaseFile file;
    std::string text;
    if (!file.OpenForReading(path, &error) || !file.ReadAll(text, &error)) {
        return false;
    }
    const size_t lastEnd = text.find_last_of('\r');
    text.erase(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    for (const std::string& line : SplitDatabaseText(text)) {
        std::string reason;
        const auto parsed = ParseDatabaseLine(line, MAX_READ_CODE_BYTES, &reason);
        if (!parsed) {
            error = path;
            error += ": ";
            error += reason;
            return false;
        }
        if (order != nullptr && codes.count(parsed->keyIndex) == 0) {
            order->push_back(parsed->keyIndex);
        }
        codes[parsed->keyIndex] = parsed->code;
    }
    return true;
}

long long ModifiedNs(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return 0;
    }
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

} // namespace

std::string JournalRoot() {
    std::string state = EnvOr("XDG_STATE_HOME");
    if (state.empty() || state.front() != '/') {
        state = EnvOr("HOME") + "/.local/state";
    }
    return state + "/lumaret/journal";
}

std::string JournalFolder(const std::string& module) {
    return JournalRoot() + "/" + module;
}

std::string SlotListText(const std::vector<uint16_t>& slots) {
    std::string text;
    for (size_t i = 0; i < slots.size();) {
        size_t end = i;
        while (end + 1 < slots.size() && slots[end + 1] == slots[end] + 1) {
            ++end;
        }
        if (!text.empty()) {
            text += ", ";
        }
        text += std::to_string(slots[i]);
        if (end > i) {
            text += (end == i + 1 ? ", " : "-") + std::to_string(slots[end]);
        }
        i = end + 1;
    }
    return text;
}

std::vector<std::string> ListJournalRuns(const std::string& folder) {
    // A run killed while it put a file in place left its fresh file behind;
    // a later run that writes nothing would never clear it.
    RemoveStaleFreshFiles(folder);
    std::vector<std::pair<std::string, long long>> runs;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const fs::path& path = entry.path();
        if (path.extension() == ".summary" && path.stem().string().size() > STAMP_LENGTH) {
            runs.emplace_back(path.stem().string(), ModifiedNs(path.string()));
        }
    }
    // Runs of one second are told apart by when they last wrote.
    std::sort(runs.begin(), runs.end(), [](const auto& a, const auto& b) {
        const int stamp = a.first.compare(0, STAMP_LENGTH, b.first, 0, STAMP_LENGTH);
        return stamp != 0 ? stamp < 0 : a.second < b.second;
    });
    std::vector<std::string> ids;
    ids.reserve(runs.size());
    for (auto& run : runs) {
        ids.push_back(std::move(run.first));
    }
    return ids;
}

std::string JournalRunTime(const std::string& id) {
    if (id.size() < STAMP_LENGTH) {
        return id;
    }
    return id.substr(0, 4) + "-" + id.substr(4, 2) + "-" + id.substr(6, 2) + " " + id.substr(9, 2) +
           ":" + id.substr(11, 2) + ":" + id.substr(13, 2);
}

std::string JournalRunCommand(const std::string& id) {
    if (id.size() <= STAMP_LENGTH + 1) {
        return {};
    }
    std::string command = id.substr(STAMP_LENGTH + 1);
    // A second run within one second carries -2, -3, ...
    if (const size_t dash = command.rfind('-');
        dash != std::string::npos && dash + 1 < command.size() &&
        command.find_first_not_of("0123456789", dash + 1) == std::string::npos) {
        command.erase(dash);
    }
    return command;
}

bool MarkJournalRunFinished(const std::string& folder, const std::string& id) {
    const JournalRun run = ReadJournalRun(folder, id);
    if (!run.error.empty() || run.finished) {
        return run.error.empty();
    }
    const std::string summary =
        run.summary.substr(0, run.summary.size() - std::string(UNFINISHED).size()) +
        " (put right later)\n";
    return static_cast<bool>(ReplaceFileContents(FolderFile(folder, id, ".summary"), summary));
}

JournalRun ReadJournalRun(const std::string& folder, const std::string& id) {
    JournalRun run;
    run.id = id;
    const DatabaseFileLines summary = ReadDatabaseFile(FolderFile(folder, id, ".summary"));
    if (!summary.ok || summary.lines.empty()) {
        run.error = summary.ok ? "its summary is empty" : summary.error;
        return run;
    }
    run.summary = summary.lines.front();
    const std::string unfinished = UNFINISHED;
    run.finished = !(run.summary.size() >= unfinished.size() &&
                     run.summary.compare(run.summary.size() - unfinished.size(), unfinished.size(),
                                         unfinished) == 0);
    std::vector<uint16_t> order;
    std::map<uint16_t, std::vector<uint8_t>> before;
    std::map<uint16_t, std::vector<uint8_t>> after;
    if (!ReadCodes(FolderFile(folder, id, ".txt"), &order, before, run.error)) {
        return run;
    }
    // A run killed before its first write ended has no after file.
    const std::string afterPath = FolderFile(folder, id, ".after");
    if (fs::exists(afterPath) && !ReadCodes(afterPath, nullptr, after, run.error)) {
        return run;
    }
    if (const std::string_view running = RUNNING; run.summary.ends_with(running)) {
        run.summary.resize(run.summary.size() - running.size());
        run.summary += WrittenText(order) + UNFINISHED;
    }
    for (const uint16_t slot : order) {
        JournalSlot entry{slot, before[slot], std::nullopt};
        if (const auto it = after.find(slot); it != after.end()) {
            entry.after = it->second;
        }
        run.slots.push_back(std::move(entry));
    }
    return run;
}

CJournalWriter::CJournalWriter(std::string folder, std::string command, std::string words,
                               std::time_t started)
    : m_folder(std::move(folder)), m_command(std::move(command)), m_words(std::move(words)),
      m_started(started) {}

CJournalWriter::~CJournalWriter() {
    Finish();
}

bool CJournalWriter::Start() {
    std::error_code ec;
    fs::create_directories(m_folder, ec);
    if (ec) {
        m_problem = "cannot make the journal folder " + m_folder + ": " + ec.message();
        return false;
    }
    std::tm local{};
    localtime_r(&m_started, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = std::string(stamp) + "-" + m_command;
    m_id = base;
    for (int n = 2; fs::exists(FolderFile(m_folder, m_id, ".summary")) ||
                    fs::exists(FolderFile(m_folder, m_id, ".txt"));
         ++n) {
        m_id = base + "-" + std::to_string(n);
    }
    return true;
}

bool CJournalWriter::Store() {
    return Replace(".txt", DatabaseText(m_order, m_before)) &&
           Replace(".after", DatabaseText(m_order, m_after)) &&
           Replace(".summary", m_words + WrittenText(m_order) + "\n");
}

bool CJournalWriter::Replace(const char* ext, const std::string& text) {
    const SaveOutcome saved = ReplaceFileContents(FolderFile(m_folder, m_id, ext), text);
    if (!saved) {
        m_problem = "cannot write the journal: " + saved.message;
    }
    return static_cast<bool>(saved);
}

bool CJournalWriter::Append(const char* ext, uint16_t slot, const std::vector<uint8_t>& code,
                            bool sync) {
    const std::string path = FolderFile(m_folder, m_id, ext);
    CDatabaseFile file;
    if (file.OpenForAppending(path) &&
        file.WriteString(FormatCodeLine(slot, code.data(), code.size())) &&
        (!sync || file.Sync()) && file.Close()) {
        return true;
    }
    m_problem = "cannot write the journal: " + path + ": " + std::strerror(errno);
    return false;
}

bool CJournalWriter::Before(uint16_t slot, const std::vector<uint8_t>& code) {
    if (!m_problem.empty() || (m_id.empty() && !Start())) {
        return false;
    }
    const bool first = m_order.empty();
    if (m_before.count(slot) == 0) {
        // On the disk before the slot is written: what undo puts back.
        if (!Append(".txt", slot, code, true)) {
            return false;
        }
        m_order.push_back(slot);
        m_before[slot] = code;
    }
    // The run is listed from its summary on, so that comes once its .txt is
    // there: a run killed between the two wrote no slot.
    if (first && !Replace(".summary", m_words + RUNNING + "\n")) {
        return false;
    }
    // A slot written again in the run: until this write ends, what it holds
    // after is not known (rare; the file is written whole).
    return m_after.erase(slot) == 0 || Replace(".after", DatabaseText(m_order, m_after));
}

bool CJournalWriter::After(uint16_t slot, const std::vector<uint8_t>& code) {
    if (!m_problem.empty() || m_id.empty()) {
        return false;
    }
    m_after[slot] = code;
    return Append(".after", slot, code, false);
}

void CJournalWriter::Finish() {
    if (m_finished) {
        return;
    }
    m_finished = true;
    if (!m_id.empty() && m_problem.empty()) {
        Store();
    }
}
