#pragma once

#include "CommandTable.h"

#include <string>

// The help texts, wrapped to width columns: the program's (its commands,
// options and exit statuses) and a command's (usage, arguments, the options
// that apply, an example).
std::string GeneralHelp(int width);
std::string CommandHelp(const CommandEntry& command, int width);

// text wrapped at blanks into lines of at most width columns, each line
// after the first starting with indent blanks; no final line feed.
std::string Wrapped(const std::string& text, size_t width, size_t indent);
