#pragma once

#include "ImportJob.h"
#include "PortSession.h"
#include "Report.h"
#include "VerifyJob.h"

#include <map>
#include <string>
#include <vector>

// A database file's lines; a file that cannot be read is a usage error, told
// in the report.
bool ReadLines(const std::string& path, std::vector<std::string>& lines, CPortReport& report);

// One function per command. The port commands open the session's port
// themselves, after checking what they can without it (files).

void RunVersion(CPortSession& session, CPortReport& report);
void RunRead(CPortSession& session, CPortReport& report);
void RunSend(CPortSession& session, CPortReport& report);
void RunLearn(CPortSession& session, CPortReport& report);
// path: FILE with its placeholders already replaced.
void RunExport(CPortSession& session, const std::string& path, CPortReport& report);
void RunImport(CPortSession& session, const std::string& path, CPortReport& report);
void RunVerify(CPortSession& session, const std::string& path, CPortReport& report);
// map: the module on the port, or FILE without one.
void RunMapModule(CPortSession& session, CPortReport& report);
void RunMapFile(const CliOptions& options, CPortReport& report);

// The parts clone puts together: an export into memory (false when it did
// not run through), and the reports of an import (eachLine: a report line
// for every line of the file) and of a check of the slots the lines name.
bool ExportToMemory(CPortSession& session, std::string& text, CPortReport& report);
void ReportImport(CPortSession& session, const ImportResult& result, CPortReport& report,
                  bool eachLine);
void ReportVerify(CPortSession& session, const VerifyResult& result, bool exact,
                  CPortReport& report);

// Without a port.
void RunDryRun(const std::string& path, CPortReport& report);
void RunDiff(const std::string& pathA, const std::string& pathB, CPortReport& report);
void RunPorts(CPortReport& report);
void RunShow(const std::string& path, CPortReport& report);
