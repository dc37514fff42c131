#pragma once

#include "PrivateFolder.h"

#include <string>
#include <sys/types.h>
#include <vector>

// COM names on Linux. A port is named COM<n>; the name resolves through the
// per-user port directory (symbolic links COM<n> published by a simulator, a
// socat pair or the operator) ahead of the fixed device families:
//   /dev/ttyS0..31 -> COM1..32, /dev/ttyUSB0..31 -> COM33..64,
//   /dev/ttyACM0..31 -> COM65..96.

// LumaretRuntimePath()/ports: $XDG_RUNTIME_DIR/lumaret/ports, or
// /tmp/lumaret-<uid>/ports without it. Read from the environment on every
// call, so tests can point it elsewhere.
std::string PortDirectoryPath();

// Creates the directory and its parent (mode 0700) when missing; false when
// they cannot be made or one of them is not safe to use, with the reason,
// naming the level, in *reason when given. Both levels are ours and both are
// judged: another user must not be able to swap or redirect either.
bool EnsurePortDirectory(const std::string& dir, std::string* reason = nullptr);

// One device of the device map: its path and the COM name it is known by.
struct DeviceMapEntry {
    std::string devicePath;
    std::string comName;
};

// What the lock file beside a link of the port directory tells: whether it
// is there, whether a publisher holds it, and the publisher's process id (0
// when it recorded none, as publishers before this record did not).
struct Publisher {
    bool lockFile = false;
    bool live = false;
    pid_t pid = 0;
};
Publisher PublisherOf(const std::string& linkPath);

// The ports of this machine: live links of the port directory first, then
// the present devices of the fixed families whose COM name no link has taken.
std::vector<DeviceMapEntry> ReadLocalDeviceMap();

// Publishes a device as COM<n> for as long as the object lives: the link
// COM<n> in the port directory and an exclusive flock on COM<n>.lock beside
// it, which holds the publishing process's id and a newline.
class PortPublication {
public:
    PortPublication() = default;
    PortPublication(const PortPublication&) = delete;
    PortPublication& operator=(const PortPublication&) = delete;
    ~PortPublication();

    // givenName in any letter case; the link is named ComName(n). False when
    // the name is taken by a live publication or the directory is unusable,
    // with the reason in *reason when given.
    bool Publish(const std::string& givenName, const std::string& devicePath,
                 std::string* reason = nullptr);
    void Withdraw();
    bool IsPublished() const { return m_lockFd >= 0; }
    const std::string& LinkPath() const { return m_linkPath; }

private:
    int m_lockFd = -1;
    std::string m_linkPath;
    std::string m_lockPath;
};
