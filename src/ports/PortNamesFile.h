#pragma once

#include "PortDirectory.h"

#include <cstddef>
#include <string>
#include <vector>

// Port names that last: $XDG_CONFIG_HOME/lumaret/ports.conf (by default
// ~/.config/lumaret/ports.conf), one name a line, "COMn = TARGET", where
// TARGET is a device path (typically a /dev/serial/by-id/ name, which stays
// the same whatever order adapters are plugged in) or a module served over
// the network, rfc2217://HOST:PORT. '#' starts a comment.
//
//   # the bench in room 2
//   COM40 = /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0
//   COM41 = rfc2217://127.0.0.1:7001

struct NamedPort {
    unsigned port = 0;  // the n of COMn
    std::string target; // a device path or an rfc2217:// address
    size_t line = 0;    // from 1
};

struct PortNamesFault {
    size_t line = 0; // from 1; 0 for the file as a whole
    std::string reason;
};
// "ports.conf line 3: ...", or "ports.conf: ..." for the file as a whole.
std::string PortNamesFaultText(const PortNamesFault& fault);

struct PortNames {
    std::vector<NamedPort> names; // the lines taken, in file order
    std::vector<PortNamesFault> faults;
};

// The file's lines taken against the names local ports already use (a local
// adapter's or a published module's COM name wins; the line naming it is
// refused). A name given twice, a name the port list cannot show (COM100 and
// above) or a malformed line is refused with its line.
PortNames ParsePortNames(const std::vector<std::string>& lines,
                         const std::vector<DeviceMapEntry>& local);

// $XDG_CONFIG_HOME/lumaret/ports.conf, or $HOME/.config/lumaret/ports.conf.
std::string PortNamesPath();

// The names file read and taken against the local ports; no file: no names.
PortNames ReadPortNames(const std::vector<DeviceMapEntry>& local);

// A target meant for the network driver: it starts "rfc2217:" in any case.
// Whether it is well-formed (rfc2217://HOST:PORT) is ParseNetworkTarget's to
// say, the one parser of such targets; a target that is neither that nor an
// absolute device path is refused with its line.
bool IsNetworkTarget(const std::string& target);

// A network target named on the command line rather than in the file: the
// COM name the file gives it, else one this process lends it for the run
// (the highest COM number no port of the machine, the file or an earlier
// loan uses). 0 when none is free.
unsigned NameForNetworkTarget(const std::string& target);

// Every usable name the file and the loans of this process give, each with
// its target: devices that are present and network targets.
std::vector<DeviceMapEntry> NamedDeviceMap(const std::vector<DeviceMapEntry>& local);
