#pragma once

#include <string>
#include <vector>

// COM names on Linux. A port is named COM<n>; the name resolves through the
// per-user port directory (symbolic links COM<n> published by a simulator, a
// socat pair or the operator) ahead of the fixed device families:
//   /dev/ttyS0..31 -> COM1..32, /dev/ttyUSB0..31 -> COM33..64,
//   /dev/ttyACM0..31 -> COM65..96.

// $XDG_RUNTIME_DIR/lumaret/ports, or /tmp/lumaret-<uid>/ports without it.
// Read from the environment on every call, so tests can point it elsewhere.
std::string PortDirectoryPath();

// Creates the directory (mode 0700) when missing; false when it cannot be
// made or is not safe to use (owned by another user, writable by others).
bool EnsurePortDirectory(const std::string& dir);

// One device of the device map: its path and the COM name it is known by.
struct DeviceMapEntry {
    std::string devicePath;
    std::string comName;
};

// Every usable port: live links of the port directory first, then the present
// devices of the fixed families whose COM name no link has taken.
std::vector<DeviceMapEntry> ReadDeviceMap();

// The device path behind COM<port>, or an empty string when there is none.
std::string ResolveComDevice(unsigned port);

// Publishes a device as COM<n> for as long as the object lives: the link
// COM<n> in the port directory and an exclusive flock on COM<n>.lock beside it.
class PortPublication {
public:
    PortPublication() = default;
    PortPublication(const PortPublication&) = delete;
    PortPublication& operator=(const PortPublication&) = delete;
    ~PortPublication();

    // False when the name is taken by a live publication or the directory is unusable.
    bool Publish(const std::string& comName, const std::string& devicePath);
    void Withdraw();
    bool IsPublished() const { return m_lockFd >= 0; }
    const std::string& LinkPath() const { return m_linkPath; }

private:
    int m_lockFd = -1;
    std::string m_linkPath;
    std::string m_lockPath;
};
