#pragma once

#include "PortSession.h"
#include "Report.h"

// restore DIR [--at REV]: the module made to hold exactly its file of the
// backup repository DIR as it was at REV (default: the newest).
void RunRestore(CPortSession& session, CPortReport& report);
