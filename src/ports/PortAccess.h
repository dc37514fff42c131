#pragma once

#include <cstdint>
#include <string>

// Naming a port the way an operator types it, and telling why a port does
// not open. CSerialLink opens by COM number; a device path reaches it through
// the device map.

enum class PortProblem {
    None,
    NotAPortName,     // neither a COM name nor a device path
    NotListed,        // no port of that name, or a device without a COM name
    Missing,          // the device is not there (any more)
    PermissionDenied, // no read and write access to the device
    Busy,             // another program holds the device
    NotATerminal,     // the device is not a serial line
    Other,
};

struct PortLookup {
    uint8_t port = 0; // the COM number, 0 when problem is not None
    PortProblem problem = PortProblem::None;
    std::string text; // why it failed, for the operator
};

// "COM9" (any case), or a device path: one the device map lists, a link in
// the port directory points at, or a link (such as /dev/serial/by-id/...)
// to one of those.
PortLookup LookUpPort(const std::string& name);

struct PortDiagnosis {
    PortProblem problem = PortProblem::None;
    std::string device; // the device behind the port, when it has one
    std::string text;   // why it cannot be opened, with a hint where one helps
};

// Checks the device behind COM<port> step by step: listed? there? readable
// and writable? a terminal? locked by another program? Call it after an
// open failed; None means the device looks usable now.
PortDiagnosis DiagnosePort(uint8_t port);
