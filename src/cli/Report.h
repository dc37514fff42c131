#pragma once

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

using Json = nlohmann::ordered_json;

// What a command did on one port (or, for the commands without a port, on
// its files): the result lines (standard output), the lines that say why it
// could not do its job (standard error), the JSON fields, the exit status,
// and the first error, which JSON carries too.
struct CPortReport {
    std::string port; // the COM name, or the name given when it has none
    int exit = 0;
    std::vector<std::string> lines;
    std::vector<std::string> troubles;
    Json fields = Json::object();
    std::string error;
    // Its lines carry the program's own colour codes, so they are written as
    // they stand; text from files in them was escaped where it was put in.
    bool styled = false;

    void Say(std::string line) { lines.push_back(std::move(line)); }
    // A failed outcome or a diagnosis: standard error.
    void Trouble(std::string line) { troubles.push_back(std::move(line)); }
    // The highest status wins.
    void Status(int status) { exit = std::max(exit, status); }
    void Fail(int status, std::string text) {
        Status(status);
        if (error.empty()) {
            error = std::move(text);
        }
    }
};
