#pragma once

#include "Report.h"

#include <ostream>
#include <vector>

// The reports on standard output: text lines (prefixed "COMn: " when there
// are several ports), or one JSON document: an object for one report, an
// array of objects for several. Each object holds port (where there is one),
// ok, exit and the command's own fields.
void WriteText(std::ostream& out, const std::vector<CPortReport>& reports, bool prefixed);
void WriteJson(std::ostream& out, const std::vector<CPortReport>& reports, bool array);

Json JsonOf(const CPortReport& report);
