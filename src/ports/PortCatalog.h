#pragma once

#include "PortIdentity.h"
#include "PortList.h"

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// The port list with what an operator wants to know about each port: what
// kind of device it is, who made it or who publishes it, and whether another
// program has it open. Built on the port list's walk of the device map.

enum class PortKind { UsbAdapter, BuiltInUart, PublishedModule, PseudoTerminal, NetworkPort };

struct PortEntry {
    std::string comName;    // "COM21"
    std::string devicePath; // the path the port list names
    PortKind kind = PortKind::PseudoTerminal;
    std::string description; // "FTDI FT232R USB UART, serial A12345", "built-in UART ttyS0",
                             // "simulated module, process 4242", "pseudo-terminal /dev/pts/3"
    std::string serial;      // the adapter's serial number from udev, empty if none
    bool inUse = false;      // another process holds the port's lock

    std::string device;    // the device behind devicePath, links followed
    PortIdentity identity; // the adapter's maker, model, serial and by-id link
    pid_t publisher = 0;   // the process that published the port, when known
    pid_t holder = 0;      // the process holding the port's lock, when in use
};

// Natural order of port names: the digits compare as numbers (COM2 before
// COM10), the letters case-blind.
bool ComNameLess(std::string_view a, std::string_view b);

// The walked items that are serial devices, in natural order, described.
std::vector<PortEntry> CatalogEntries(const std::vector<PortListItem>& items);

// The device map's ports, walked as the port list walks them.
std::vector<PortEntry> ListPortEntries();
