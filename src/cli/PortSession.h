#pragma once

#include "ExchangeTiming.h"
#include "FileName.h"
#include "JobPort.h"
#include "ProgressBar.h"
#include "Report.h"
#include "RunControl.h"
#include "SerialLink.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CConsole;
class CJournalWriter;
class CTracingDriver;
struct CliOptions;

// What every port's work shares: the options, the timing, standard error,
// the interruption.
struct CliContext {
    const CliOptions& options;
    const ExchangeTiming& timing;
    CConsole& console;
    CRunControl& control;
    bool progress = false; // a live progress board on standard error
    bool prefixed = false; // several ports: every line starts with the port's name
    RunClock clock{};      // for the placeholders of file names
    int answerFd = -1;     // an operator's answers, on a terminal; -1: none
    // Standard output and error both on a terminal: a line said there as it
    // came is not said again in the report.
    bool oneTerminal = false;
    std::string words{}; // the command and its arguments, as a journal names the run
};

// One port for one command: the link on the real driver (traced when asked),
// opened as the window opens it, with its running flag and progress row.
class CPortSession {
public:
    CPortSession(CliContext& context, std::string comName, uint8_t port, CProgressRow row);
    ~CPortSession();
    CPortSession(const CPortSession&) = delete;
    CPortSession& operator=(const CPortSession&) = delete;

    // Opens the port 9600 8N1 and gives it the timing's line time-outs, as
    // the window does. On failure the report says why (status 3).
    bool Open(CPortReport& report);
    void Close();

    CSerialLink& Link() { return m_link; }
    // The session's reply checks: each kind of reply is checked from the
    // first one whose CRC holds.
    CReplyChecks& Checks() { return m_checks; }
    // What a job on this port runs with.
    JobPort Job() {
        return JobPort{m_link, m_context.timing, m_running.Flag(), &m_checks, Journal()};
    }
    // The journal of this run on the module, made when a command that
    // writes asks first; nullptr when the command does not write slots or
    // --no-journal was given.
    CJournalWriter* Journal();
    // The module's name (ModuleName).
    std::string Module() const;
    const ExchangeTiming& Timing() const { return m_context.timing; }
    std::atomic<int32_t>& Running() { return m_running.Flag(); }
    bool Interrupted() const { return m_context.control.Interrupted(); }
    CProgressRow& Progress() { return m_progress; }
    const std::string& Name() const { return m_name; }
    uint8_t Port() const { return m_port; }
    // FILE with its placeholders replaced for this port.
    std::string FileFor(const std::string& pattern) const;
    const CliContext& Context() const { return m_context; }

    // The status of a failed exchange: 4 when nothing came back after its
    // last frame (no reply, at whatever point of the command), else 1.
    int FailureStatus() const;
    // The report's status for a failed exchange, with the diagnosis when the
    // module did not answer: "no reply within 520 ms (is a module attached
    // and powered?)", boundMs being the longest the exchange waits
    // (ExchangeTiming::BoundMs, or LearnWaitMs for a learn).
    void FailExchange(CPortReport& report, uint32_t boundMs, int status);

private:
    CliContext& m_context;
    std::string m_name;
    uint8_t m_port;
    CProgressRow m_progress;
    CRunningFlag m_running;
    CReplyChecks m_checks;
    CTracingDriver* m_driver = nullptr; // owned by m_link
    CSerialLink m_link;
    std::unique_ptr<CJournalWriter> m_journal;
};
