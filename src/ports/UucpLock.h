#pragma once

#include <string>
#include <sys/types.h>

// UUCP lock files, as ser2net, minicom and picocom keep off each other's
// device: LCK..NAME in the lock folder, NAME the device's file name, holding
// the owner's process id in ten ASCII columns. A lock whose process has gone
// is stale and holds nothing.

// $LUMARET_LOCK_DIR where it is set (tests, other layouts), else /var/lock.
std::string UucpLockFolder();

// A live process holding a lock file of the device at path.
struct UucpHolder {
    pid_t pid = 0;       // 0: none
    std::string program; // its name, "another program" when it cannot be told
};

// The live holder of a lock on the device at path: under the name of the
// device it leads to (ttyUSB0) or under the name it was given by (a
// /dev/serial/by-id/ link, as ser2net names it).
UucpHolder UucpLockHolder(const std::string& path);

// The lock this program takes while it holds a device. Where the folder lets
// it (it may be missing or closed to the user), Take makes LCK..NAME, taking
// over a stale one; Release removes it.
class CUucpLock {
public:
    CUucpLock() = default;
    ~CUucpLock() { Release(); }
    CUucpLock(const CUucpLock&) = delete;
    CUucpLock& operator=(const CUucpLock&) = delete;

    // False, with the holder, when a live process holds the device; true
    // when the lock is ours or the folder takes none.
    bool Take(const std::string& path, UucpHolder& holder);
    void Release();

private:
    std::string m_file; // the lock file that is ours, empty when none
};
