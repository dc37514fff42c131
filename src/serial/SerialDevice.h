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

// The process holding a flock on the device at path (links followed), as
// /proc/locks tells, without taking the lock; 0 when none does or it cannot
// be told.
pid_t LockHolder(const std::string& path);
