#pragma once

#include <string>

// The name a module goes by in its journal, its backups and {module} in file
// names: the one that stays the same longest. The ports.conf name when the
// port has one; else ADAPTER-SERIAL from the identity of the adapter behind
// it; else the port's name (a network address as HOST-PORT). Only letters,
// digits, '.', '_' and '-', so that it makes a file name as it stands.
std::string ModuleName(const std::string& portName, unsigned port);

// text with every character a file name should not hold made '-', and the
// scheme of a network address (rfc2217://) dropped.
std::string FileNameSafe(const std::string& text);
