#pragma once

#include "PortRegistry.h"

#include <cstddef>
#include <string>
#include <vector>

// The port list as the window shows it, walked the way the serial-device
// registry key is read. Both front ends list their ports with it.
// The list reads a port's name as six bytes of data, its end included: a
// longer name (COM100 and above) cannot be shown.
inline constexpr size_t PORT_LIST_NAME_CHARS = 5;

struct PortListItem {
    std::string comName;    // the value's data: what the list shows
    std::string devicePath; // the value's name: the device behind it
};

struct PortListWalk {
    // Sorted as a sorted list box places its items: case-blind, a new item
    // behind the ones that compare equal.
    std::vector<PortListItem> items;
    // The messages of the steps that failed, in the order they came.
    std::vector<std::string> messages;
};

PortListWalk WalkPortList(IPortRegistry& key);
