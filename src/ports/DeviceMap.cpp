// The device map as a whole: the local ports of the port directory and the
// device families, then the names of the names file. It stands above both,
// so that the names file, which takes its names against the local ports,
// and the port directory never call each other.

#include "DeviceMap.h"

#include "PortDirectory.h"
#include "PortNamesFile.h"

#include "ComName.h"

#include <utility>

std::vector<DeviceMapEntry> ReadDeviceMap() {
    std::vector<DeviceMapEntry> map = ReadLocalDeviceMap();
    // The names taken by local ports, or named twice, were refused on reading.
    for (DeviceMapEntry& named : NamedDeviceMap(map)) {
        map.push_back(std::move(named));
    }
    return map;
}

std::string ResolveComDevice(unsigned port) {
    const std::string name = ComName(port);
    for (const DeviceMapEntry& e : ReadDeviceMap()) {
        if (e.comName == name) {
            return e.devicePath;
        }
    }
    return {};
}
