#pragma once

#include "CommandTable.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// A command line as read, before its checks: the command, its own words and
// the options given.
struct CommandLine {
    const CommandEntry* command = nullptr;
    std::vector<std::string> words;
    // Every value of each option given, in the order given (a flag's are
    // empty), under the option's entry.
    std::map<const OptionEntry*, std::vector<std::string>> given;
    std::string error; // an unknown word or a missing value ends the reading

    // The values of the option, or of the option named so ("--slot");
    // nullptr when not given.
    const std::vector<std::string>* Values(const OptionEntry& option) const;
    const std::vector<std::string>* Values(const std::string& name) const;
    bool Given(const std::string& name) const { return Values(name) != nullptr; }
    // How the command is written with the port given, for the messages:
    // "lumaret-cli -p COM9 read" and rest.
    std::string Example(const std::string& rest) const;
};

// args without the program's name. "--port=COM9" and "-pCOM9" count as
// "--port" "COM9"; options stand anywhere before "--"; the first other word
// names the command, the rest are its own.
CommandLine ReadCommandLine(const std::vector<std::string>& args);

// "; did you mean --port?" for the closest candidate, when one is close.
std::string Suggestion(const std::string& word, const std::vector<std::string>& candidates);
std::vector<std::string> CommandNames();
// "ports, version, ... or help".
std::string CommandList();

// Digits, with one minus sign before them or none.
bool IsNumberWord(const std::string& word);
// A whole decimal number in [low, high], else nothing.
std::optional<int> NumberIn(const std::string& word, int low, int high);
// A duration as "500ms", "2s" or "1.5s", in milliseconds, at most maxMs.
std::optional<int> DurationMs(const std::string& word, int maxMs);
// what ("slot must be a number"), the range and the word given.
std::string OutOfRange(const std::string& what, int low, int high, const std::string& word);
// Without the blanks and tabs around it.
std::string Trim(const std::string& s);
