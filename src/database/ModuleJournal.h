#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

// A module's journal: for every run that wrote slots, what each slot held
// before the run wrote it, so that the run can be undone. It lives in
// $XDG_STATE_HOME/lumaret/journal/MODULE/ (by default
// ~/.local/state/lumaret/journal/MODULE/), three files a run, all named by
// the run's ID, YYYYMMDD-HHMMSS-COMMAND:
//   ID.txt      a database file: each slot as the run found it (an empty
//               slot is a line with an empty code), in the order written
//   ID.after    a database file: what the run left in each slot it wrote
//   ID.summary  one line: the command, its arguments and the slots written
// While a run writes, each slot's line is added to ID.txt (and synced)
// before the slot is written and to ID.after once it is, so that a run
// killed half way leaves a journal of what it did up to there; its summary
// then names the slots of ID.txt. A slot written twice has its last line in
// ID.after. When the run ends, all three are written whole once more.

// $XDG_STATE_HOME/lumaret/journal, or $HOME/.local/state/lumaret/journal.
std::string JournalRoot();
std::string JournalFolder(const std::string& module);

// "1-3, 7, 12": slot numbers in the order given, runs of neighbours joined.
std::string SlotListText(const std::vector<uint16_t>& slots);

// One slot a run wrote.
struct JournalSlot {
    uint16_t slot = 0;
    std::vector<uint8_t> before;               // empty: the slot was empty
    std::optional<std::vector<uint8_t>> after; // nullopt: the write never ended
};

struct JournalRun {
    std::string id;      // YYYYMMDD-HHMMSS-COMMAND, with -2, -3 ... after a second run that second
    std::string summary; // the summary line as written
    std::vector<JournalSlot> slots;
    bool finished = false; // the run ended; a killed one did not
    std::string error;     // why the run could not be read
};

// The IDs of the runs in folder, oldest first.
std::vector<std::string> ListJournalRuns(const std::string& folder);
JournalRun ReadJournalRun(const std::string& folder, const std::string& id);
// "2026-12-10 06:15:00" from an ID.
std::string JournalRunTime(const std::string& id);
// "check-remote" from 20261210-061500-check-remote-2.
std::string JournalRunCommand(const std::string& id);
// A run that did not finish, put right since: its summary no longer says
// "unfinished".
bool MarkJournalRunFinished(const std::string& folder, const std::string& id);

// Writes one run's journal. Nothing is made until the first slot, so a run
// that writes nothing leaves no trace.
class CJournalWriter {
public:
    // words: the command and its arguments as the summary names them.
    CJournalWriter(std::string folder, std::string command, std::string words,
                   std::time_t started = std::time(nullptr));
    ~CJournalWriter();
    CJournalWriter(const CJournalWriter&) = delete;
    CJournalWriter& operator=(const CJournalWriter&) = delete;

    // Before the run writes slot: what it holds now. A slot written twice
    // in one run keeps what it held the first time. False, with Problem()
    // set, when the journal could not be stored: then the slot must not be
    // written.
    bool Before(uint16_t slot, const std::vector<uint8_t>& code);
    // After the write: what the slot holds now.
    bool After(uint16_t slot, const std::vector<uint8_t>& code);
    // The run ended: its summary no longer says "unfinished".
    void Finish();

    const std::string& Problem() const { return m_problem; }
    const std::string& Id() const { return m_id; }
    const std::string& Folder() const { return m_folder; }

private:
    bool Store();
    bool Start();
    // Writes the run's file ext whole.
    bool Replace(const char* ext, const std::string& text);
    // Adds slot's line to the run's file ext.
    bool Append(const char* ext, uint16_t slot, const std::vector<uint8_t>& code, bool sync);

    std::string m_folder;
    std::string m_command;
    std::string m_words;
    std::time_t m_started;
    std::string m_id;
    std::vector<uint16_t> m_order;
    std::map<uint16_t, std::vector<uint8_t>> m_before;
    std::map<uint16_t, std::vector<uint8_t>> m_after;
    bool m_finished = false;
    std::string m_problem;
};
