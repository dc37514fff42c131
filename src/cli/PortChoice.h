#pragma once

#include <string>
#include <vector>

// The ports "-p all" stands for: every USB adapter and every published
// (simulated) module in the port list's order, never an unnamed built-in
// UART; then every name ports.conf gives a present device or a network
// module, in COM order; a device under two names once.
std::vector<std::string> AllModulePorts();

// "all" in any letter case, as COM names are taken.
bool IsAllPorts(const std::string& name);

// The names as given with each "all" replaced by those ports.
std::vector<std::string> ExpandAll(const std::vector<std::string>& names);
