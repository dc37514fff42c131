#pragma once

#include "PortDirectory.h"

#include <string>
#include <vector>

// Every usable port: the local ones (the port directory and the device
// families), then the names of the names file: present devices and network
// targets, and the network targets this process named for its run. Above
// both, so that neither calls the other.
std::vector<DeviceMapEntry> ReadDeviceMap();

// The device path behind COM<port>, or an empty string when there is none.
std::string ResolveComDevice(unsigned port);
