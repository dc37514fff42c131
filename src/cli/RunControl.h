#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// Interruption of a whole run: every port's running flag (the one its loop
// checks before each slot or line, as the window's Cancel clears it) drops
// to 0 at once, and flags registered later start at 0.
class CRunControl {
public:
    void Interrupt();
    bool Interrupted() const { return m_interrupted.load(); }

    void Register(std::atomic<int32_t>& running);
    void Unregister(std::atomic<int32_t>& running);

    // What a run would leave behind if it ended this instant, one text a
    // port ("the slots read so far are in ..."), for the line a second
    // Ctrl+C says before the program ends at once. A word is called only
    // then, so that it may first put the work where it says.
    using KeptWord = std::function<std::string()>;
    void Keep(const std::string& port, std::string text);
    void Keep(const std::string& port, KeptWord word);
    void Forget(const std::string& port);
    // Runs step (which moves what is kept, e.g. renames the file) with the
    // words held, then keeps the word its outcome gives (empty: forgets the
    // port), so that a second Ctrl+C never names a file that is going.
    void KeepAfter(const std::string& port, const std::function<KeptWord()>& stepThenWord);
    // Writes "lumaret-cli: stopped at once; " and the kept text on standard
    // error and ends the program with status, the texts held throughout, so
    // that no step moves a file between the line and the end.
    [[noreturn]] void EndAtOnce(int status) const;

private:
    // "COM9: the slots ...; COM10: ...", or "nothing written"; with
    // m_keptMutex held.
    std::string KeptTextHeld() const;

    std::atomic<bool> m_interrupted{false};
    std::mutex m_mutex;
    std::vector<std::atomic<int32_t>*> m_flags;
    mutable std::mutex m_keptMutex;
    std::map<std::string, KeptWord> m_kept;
};

// A running flag registered for as long as it lives.
class CRunningFlag {
public:
    explicit CRunningFlag(CRunControl& control) : m_control(control) { m_control.Register(m_flag); }
    ~CRunningFlag() { m_control.Unregister(m_flag); }
    CRunningFlag(const CRunningFlag&) = delete;
    CRunningFlag& operator=(const CRunningFlag&) = delete;

    std::atomic<int32_t>& Flag() { return m_flag; }

private:
    CRunControl& m_control;
    std::atomic<int32_t> m_flag{1};
};
