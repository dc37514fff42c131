#pragma once

#include "PortRun.h"

#include <vector>

// backup DIR: every port of -p read into memory at once, then one commit of
// the modules whose files changed (none when nothing did). DIR is checked,
// and made a repository, before any port is opened. One report a port.
std::vector<CPortReport> RunBackup(const std::vector<PortTarget>& ports, CliContext& context);

// backup DIR --history [MODULE], without a port: a line per commit that
// changed the module's file (every module's, when none is named).
void RunBackupHistory(const CliOptions& options, CPortReport& report);
