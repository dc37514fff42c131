#include "PortSession.h"

#include "CommandTable.h"
#include "Console.h"
#include "ExitStatus.h"
#include "ModuleJournal.h"
#include "ModuleName.h"
#include "Options.h"
#include "PortAccess.h"
#include "PortDriver.h"
#include "Trace.h"

namespace {

std::unique_ptr<CTracingDriver> MakeDriver(const std::string& name, CConsole* trace,
                                           CTracingDriver*& raw) {
    auto driver = std::make_unique<CTracingDriver>(std::make_unique<PortDriver>(), name, trace);
    raw = driver.get();
    return driver;
}

} // namespace

CPortSession::CPortSession(CliContext& context, std::string comName, uint8_t port, CProgressRow row)
    : m_context(context), m_name(std::move(comName)), m_port(port), m_progress(row),
      m_running(context.control),
      m_link(MakeDriver(m_name, context.options.trace ? &context.console : nullptr, m_driver)) {}

CPortSession::~CPortSession() {
    Close();
}

bool CPortSession::Open(CPortReport& report) {
    if (m_link.Open(m_port, 9600, 'N', 8, 0)) {
        m_link.SetTimeouts(m_context.timing.lineTimeouts);
        return true;
    }
    // A network port says why in its own words: "cannot connect to HOST:PORT: ...".
    if (const std::string reason = m_driver->FailureReason(); !reason.empty()) {
        report.Fail(EXIT_PORT, reason);
        report.fields["error"] = report.error;
        return false;
    }
    const PortDiagnosis why = DiagnosePort(m_port);
    const std::string text = why.problem == PortProblem::None
                                 ? "cannot be opened (it was busy or went away meanwhile)"
                                 : why.text;
    report.Fail(EXIT_PORT, "cannot open the port: " + text);
    report.fields["error"] = report.error;
    return false;
}

void CPortSession::Close() {
    m_link.CloseWithoutPause();
}

int CPortSession::FailureStatus() const {
    // A line that failed (a connection closed, a port that sends without
    // pause) brought no reply, whatever bytes came.
    return m_driver->BytesSinceWrite() == 0 || !m_link.LineFault().empty() ? EXIT_NO_REPLY
                                                                           : EXIT_OUTCOME;
}

void CPortSession::FailExchange(CPortReport& report, uint32_t boundMs, int status) {
    if (status == EXIT_NO_REPLY && !m_link.LineFault().empty()) {
        // The line itself failed: "the server closed the connection".
        report.Fail(status, m_link.LineFault());
    } else if (status == EXIT_NO_REPLY) {
        report.Fail(status, "no reply within " + std::to_string(boundMs) +
                                " ms (is a module attached and powered?)");
    } else {
        report.Status(status);
    }
}

std::string CPortSession::Module() const {
    return ModuleName(m_name, m_port);
}

CJournalWriter* CPortSession::Journal() {
    const CliOptions& options = m_context.options;
    if (m_journal == nullptr && options.command->journal && !options.noJournal) {
        m_journal = std::make_unique<CJournalWriter>(JournalFolder(Module()), options.command->name,
                                                     m_context.words);
    }
    return m_journal.get();
}

std::string CPortSession::FileFor(const std::string& pattern) const {
    const bool wantsSerial = pattern.find("{serial}") != std::string::npos;
    std::string path = pattern;
    for (size_t at = path.find("{module}"); at != std::string::npos; at = path.find("{module}")) {
        path.replace(at, 8, Module());
    }
    return FileNameFor(path, m_name, wantsSerial ? AdapterSerial(m_port) : std::string(),
                       m_context.clock);
}
