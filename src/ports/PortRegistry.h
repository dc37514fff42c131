#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PortDirectory.h"

// Status codes of the registry-shaped calls below, with their Win32 values.
inline constexpr long PORT_REG_SUCCESS = 0;
inline constexpr long PORT_REG_FILE_NOT_FOUND = 2;
inline constexpr long PORT_REG_MORE_DATA = 234;
inline constexpr long PORT_REG_NO_MORE_ITEMS = 259;

// The device map, read the way the serial-device registry key is read: each
// value is named by a device and holds its port name. The port list keeps its
// registry steps and their messages on top of this.
class IPortRegistry {
public:
    virtual ~IPortRegistry() = default;

    virtual long OpenKey() = 0;
    virtual long QueryInfoKey(uint32_t& valueCount, uint32_t& maxValueNameLength) = 0;
    // name holds nameLength characters with the terminating zero; on success
    // nameLength becomes the count written without it. A name that does not
    // fit gives PORT_REG_MORE_DATA.
    virtual long EnumValueName(uint32_t index, char* name, uint32_t& nameLength) = 0;
    // Copies the value's data (its text and the terminating zero) into data;
    // PORT_REG_MORE_DATA when it does not fit in dataLength bytes.
    virtual long QueryValue(const char* name, uint8_t* data, uint32_t& dataLength) = 0;
    virtual void CloseKey() = 0;
};

// A registry key over a fixed list of values; the device map fills one.
class CPortValueList : public IPortRegistry {
public:
    CPortValueList() = default;
    explicit CPortValueList(std::vector<DeviceMapEntry> values) : m_values(std::move(values)) {}

    long OpenKey() override;
    long QueryInfoKey(uint32_t& valueCount, uint32_t& maxValueNameLength) override;
    long EnumValueName(uint32_t index, char* name, uint32_t& nameLength) override;
    long QueryValue(const char* name, uint8_t* data, uint32_t& dataLength) override;
    void CloseKey() override {}

protected:
    std::vector<DeviceMapEntry> m_values;
};

// The live device map of the port directory and the fixed device families,
// read afresh at every OpenKey.
class CDeviceMapRegistry : public CPortValueList {
public:
    long OpenKey() override;
};
