#pragma once

#include "PortSession.h"
#include "Report.h"

#include <functional>
#include <string>
#include <vector>

class CConsole;
class CProgressBoard;

// A port as the command line named it, looked up.
struct PortTarget {
    std::string given;
    std::string label; // its COM name, or what was given when it has none
    uint8_t port = 0;
    int exit = 0; // 2 or 3 when it could not be looked up
    std::string error;
};

// Looks every name up; a port named twice, or two names that lead to one
// device, is a usage error (error set).
std::vector<PortTarget> LookUpPorts(const std::vector<std::string>& names, std::string& error);

// What went wrong, on standard error: the failed outcomes and diagnoses
// (prefixed with the port's name when several ports run), then the error,
// always after the port's name (or "lumaret-cli" without a port).
void SayTroubles(CConsole& console, const CPortReport& report, bool prefixed);

using PortWork = std::function<void(CPortSession&, CPortReport&)>;

// Runs work on every port at once, one thread a port, each with its own
// session and progress row; errors go to standard error as they happen.
// The reports come back in the order of the ports.
std::vector<CPortReport> RunOnPorts(const std::vector<PortTarget>& targets, CliContext& context,
                                    const PortWork& work);
