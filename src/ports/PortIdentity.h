#pragma once

#include <string>

// Who made the adapter behind a serial device, as udev knows it. Every field
// is empty where nothing is known: a built-in UART, a pseudo-terminal, or a
// machine without udev (containers, CI).
struct PortIdentity {
    std::string vendor;
    std::string model;
    std::string serial;
    std::string byId; // the /dev/serial/by-id link to the device, if any

    bool Empty() const { return vendor.empty() && model.empty() && serial.empty() && byId.empty(); }
};

// The device a path leads to once every link is followed; the path itself
// when it does not resolve.
std::string DeviceBehind(const std::string& path);

// The identity of the device at path (links followed).
PortIdentity IdentifyPort(const std::string& path);

// The link in byIdDir that leads to the same device as path; empty if none.
std::string ByIdName(const std::string& path, const std::string& byIdDir = "/dev/serial/by-id");

// "vendor model, serial S, by-id name": the parts that are known, for a tooltip or a list.
std::string DescribeIdentity(const PortIdentity& identity);
