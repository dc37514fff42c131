#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Port names as the module's users know them: "COM<n>", n from 1 to 255.

// The n of "COM<n>" (the letters in any case: com21, Com21) written without
// a leading zero; nullopt for any other text. Every name an operator types
// goes through it; ComName(n) spells it the one way the programs show it.
std::optional<uint8_t> ParseComNumber(std::string_view name);

std::string ComName(unsigned n);

// The port number the window opens for a port-list item's text: all its
// digits, wherever they stand, read as one number whose low 8 bits are kept.
uint8_t PortNumberOfItem(std::string_view text);
