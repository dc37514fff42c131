#pragma once

#include <string>
#include <sys/types.h>

// What a path leads to, judged without opening it: opening a serial line
// raises its modem lines, which a listing must not do.

// True when path (links followed) is a character device of a terminal
// driver: a UART (ttyS, ttyAMA), a USB adapter (ttyUSB, ttyACM) or the slave
// of a pseudo-terminal. /dev/null and the like, files, folders and dangling
// links are not.
bool IsSerialDevice(const std::string& path);

// The process holding the device at path (links followed), found without
// taking its lock: a flock on the device, as /proc/locks tells (Lumaret,
// picocom), or else a live process named by a UUCP lock file (UucpLock.h:
// ser2net, minicom and other terminal programs). 0 when none holds it or it
// cannot be told.
pid_t LockHolder(const std::string& path);
