#pragma once

#include <string>
#include <vector>

// The ports "-p all" stands for: every USB adapter and every published
// (simulated) module in the port list, never a built-in UART. COM names in
// the list's order.
std::vector<std::string> AllModulePorts();

// "all" in any letter case, as COM names are taken.
bool IsAllPorts(const std::string& name);

// The names as given with each "all" replaced by those ports.
std::vector<std::string> ExpandAll(const std::vector<std::string>& names);
