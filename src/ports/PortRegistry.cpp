#include "PortRegistry.h"

#include "DeviceMap.h"

#include <algorithm>
#include <cstring>

long CPortValueList::OpenKey() {
    return PORT_REG_SUCCESS;
}

long CPortValueList::QueryInfoKey(uint32_t& valueCount, uint32_t& maxValueNameLength) {
    valueCount = static_cast<uint32_t>(m_values.size());
    size_t longest = 0;
    for (const DeviceMapEntry& value : m_values) {
        longest = std::max(longest, value.devicePath.size());
    }
    maxValueNameLength = static_cast<uint32_t>(longest);
    return PORT_REG_SUCCESS;
}

long CPortValueList::EnumValueName(uint32_t index, char* name, uint32_t& nameLength) {
    if (index >= m_values.size()) {
        return PORT_REG_NO_MORE_ITEMS;
    }
    const std::string& path = m_values[index].devicePath;
    if (path.size() + 1 > nameLength) {
        return PORT_REG_MORE_DATA;
    }
    std::memcpy(name, path.c_str(), path.size() + 1);
    nameLength = static_cast<uint32_t>(path.size());
    return PORT_REG_SUCCESS;
}

long CPortValueList::QueryValue(const char* name, uint8_t* data, uint32_t& dataLength) {
    const auto found =
        std::find_if(m_values.begin(), m_values.end(),
                     [name](const DeviceMapEntry& v) { return v.devicePath == name; });
    if (found == m_values.end()) {
        return PORT_REG_FILE_NOT_FOUND;
    }
    const uint32_t needed = static_cast<uint32_t>(found->comName.size() + 1);
    if (needed > dataLength) {
        dataLength = needed;
        return PORT_REG_MORE_DATA;
    }
    std::memcpy(data, found->comName.c_str(), needed);
    dataLength = needed;
    return PORT_REG_SUCCESS;
}

long CDeviceMapRegistry::OpenKey() {
    m_values = ReadDeviceMap();
    return PORT_REG_SUCCESS;
}
