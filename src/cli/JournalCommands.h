#pragma once

#include "PortSession.h"
#include "Report.h"

// The commands on a module's journal.

// undo: the module's last run (or --run ID) put back; --list: the runs.
void RunUndo(CPortSession& session, CPortReport& report);
// clear: one slot emptied.
void RunClear(CPortSession& session, CPortReport& report);
