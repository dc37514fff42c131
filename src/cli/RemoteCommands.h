#pragma once

#include "PortRun.h"
#include "PortSession.h"
#include "Report.h"

#include <vector>

// learn-remote MAP on one port.
void RunLearnRemote(CPortSession& session, CPortReport& report);
// check-remote MAP: ports holds the sending port, then the learning one (--with).
std::vector<CPortReport> RunCheckRemote(const std::vector<PortTarget>& ports, CliContext& context);
