#pragma once

#include "PortRun.h"

#include <vector>

// clone: the first target is the source. Every target is opened first; one
// that cannot be opened ends the clone before the source is read. Then the
// source is exported into memory and imported into every target at once,
// and each is verified (--exact: every slot). One report a port, the
// source's first.
std::vector<CPortReport> RunClone(const std::vector<PortTarget>& ports, CliContext& context);
