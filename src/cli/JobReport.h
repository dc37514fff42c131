#pragma once

#include "CountedText.h"
#include "JobObserver.h"
#include "PortSession.h"
#include "ProgressBar.h"
#include "Report.h"

#include <string>

// A job's progress on a port's row of the progress board.
class CProgressObserver : public IJobObserver {
public:
    CProgressObserver(CProgressRow& row, std::string task, std::string unit)
        : m_row(row), m_task(std::move(task)), m_unit(std::move(unit)) {}

    void OnStart(int32_t total) override { m_row.Begin(m_task, m_unit, total); }
    void OnProgress(int32_t done, int32_t) override { m_row.Update(done); }

private:
    CProgressRow& m_row;
    std::string m_task;
    std::string m_unit;
};

// "1 byte", "12 bytes".
std::string Bytes(size_t n);

// What the session's reply checks have to say once a command is done: the
// kinds of reply taken unchecked, and the exchanges repeated for a damaged
// reply. Said only when there is something to say, on standard error.
void ReportReplyChecks(CPortSession& session, CPortReport& report);

// A job that ended for want of a reply (no byte came after the last frame):
// the diagnosis naming the bound the exchange waited, status 4. Nothing for
// any other ending.
void ReportNoReply(CPortSession& session, JobOutcome outcome, uint32_t boundMs,
                   CPortReport& report);
// A journal step that stopped a job before a write: its text, status 4
// when the read before the write got no reply, 2 when the journal could not
// be stored, else 1. Nothing when problem is empty.
void ReportJournalStop(CPortSession& session, JobOutcome outcome, const std::string& problem,
                       CPortReport& report);
// The status of a job that did not run through: 130 interrupted, 1 for a
// reply that stayed damaged, else the session's for a failed exchange.
int StoppedStatus(const CPortSession& session, JobOutcome outcome);
// The bound of a slot's read, as export and verify read it.
uint32_t SlotReadBoundMs(const CPortSession& session);
