#include "CommandLine.h"

#include "ModuleLimits.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Edits (insert, delete, replace, swap two neighbours) from a to b.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    for (size_t j = 0; j <= b.size(); ++j) {
        d[0][j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

// "--port=COM9" and "-pCOM9" as "--port" "COM9".
std::vector<std::string> SplitAttachedValues(const std::vector<std::string>& args) {
    std::vector<std::string> split;
    for (const std::string& arg : args) {
        const size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            split.push_back(arg.substr(0, equals));
            split.push_back(arg.substr(equals + 1));
        } else if (arg.rfind("-p", 0) == 0 && arg.size() > 2) {
            split.emplace_back("-p");
            split.push_back(arg.substr(arg[2] == '=' ? 3 : 2));
        } else {
            split.push_back(arg);
        }
    }
    return split;
}

const OptionEntry* FindOption(const std::string& word, const CommandEntry* command) {
    for (const OptionEntry* option : KnownOptions(command)) {
        const std::vector<std::string> names = OptionNames(*option);
        if (std::find(names.begin(), names.end(), word) != names.end()) {
            return option;
        }
    }
    return nullptr;
}

std::string UnknownOption(const std::string& word, const CommandEntry* command) {
    std::vector<std::string> names;
    for (const OptionEntry* option : KnownOptions(command)) {
        for (const std::string& name : OptionNames(*option)) {
            names.push_back(name);
        }
    }
    return "unknown option " + word + Suggestion(word, names);
}

// The option at args[i] and its value; line.error set when it is not known
// or lacks its value.
void TakeOption(const std::vector<std::string>& args, size_t& i, CommandLine& line) {
    const std::string& arg = args[i];
    const OptionEntry* option = FindOption(arg, line.command);
    if (option == nullptr) {
        line.error = UnknownOption(arg, line.command);
        return;
    }
    std::vector<std::string>& values = line.given[option];
    if (option->value.empty()) {
        values.emplace_back();
    } else if (i + 1 >= args.size()) {
        line.error = arg + " needs a value, e.g. " + arg + " " + option->example;
    } else {
        values.push_back(args[++i]);
    }
}

} // namespace

const std::vector<std::string>* CommandLine::Values(const OptionEntry& option) const {
    const auto found = given.find(&option);
    return found == given.end() ? nullptr : &found->second;
}

const std::vector<std::string>* CommandLine::Values(const std::string& name) const {
    const OptionEntry* option = FindOption(name, command);
    return option == nullptr ? nullptr : Values(*option);
}

std::string CommandLine::Example(const std::string& rest) const {
    if (!command->port) {
        return "lumaret-cli " + command->name + rest;
    }
    const std::vector<std::string>* ports = Values("--port");
    const std::string port = ports == nullptr ? std::string() : Trim(ports->front());
    return "lumaret-cli -p " + (port.empty() ? "COM9" : port) + " " + command->name + rest;
}

CommandLine ReadCommandLine(const std::vector<std::string>& given) {
    const std::vector<std::string> args = SplitAttachedValues(given);
    CommandLine line;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size() && line.error.empty(); ++i) {
        const std::string& arg = args[i];
        const bool option = !optionsEnded && arg.size() > 1 && arg[0] == '-' && !IsNumberWord(arg);
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (option) {
            TakeOption(args, i, line);
        } else if (line.command == nullptr) {
            line.command = FindCommand(arg);
            if (line.command == nullptr) {
                line.error = "unknown command \"" + arg + "\"" + Suggestion(arg, CommandNames()) +
                             " (the commands: " + CommandList() + ")";
            }
        } else {
            line.words.push_back(arg);
        }
    }
    return line;
}

std::string Suggestion(const std::string& word, const std::vector<std::string>& candidates) {
    std::string best;
    size_t bestDistance = 3; // more edits than this is another word
    for (const std::string& candidate : candidates) {
        const size_t distance = EditDistance(word, candidate);
        if (distance < bestDistance && distance < candidate.size()) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best.empty() ? std::string() : "; did you mean " + best + "?";
}

std::vector<std::string> CommandNames() {
    std::vector<std::string> names;
    for (const CommandEntry& entry : CommandTable()) {
        names.push_back(entry.name);
    }
    return names;
}

std::string CommandList() {
    std::string list;
    const std::vector<std::string> names = CommandNames();
    for (size_t i = 0; i < names.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return list;
}

bool IsNumberWord(const std::string& word) {
    const size_t digits = word.find_first_not_of('-') == 1 ? 1 : 0;
    return word.size() > digits &&
           word.find_first_not_of("0123456789", digits) == std::string::npos;
}

std::optional<int> NumberIn(const std::string& word, int low, int high) {
    if (!IsNumberWord(word) || word.size() > 6) {
        return std::nullopt;
    }
    const int n = std::atoi(word.c_str());
    if (n < low || n > high) {
        return std::nullopt;
    }
    return n;
}

std::optional<int> DurationMs(const std::string& word, int maxMs) {
    const bool millis = word.size() > 2 && word.compare(word.size() - 2, 2, "ms") == 0;
    const bool seconds = !millis && word.size() > 1 && word.back() == 's';
    if (!millis && !seconds) {
        return std::nullopt;
    }
    const std::string number = word.substr(0, word.size() - (millis ? 2 : 1));
    const size_t point = number.find('.');
    const std::string whole = number.substr(0, point);
    const std::string part = point == std::string::npos ? "" : number.substr(point + 1);
    const auto digits = [](const std::string& s) {
        return s.find_first_not_of("0123456789") == std::string::npos;
    };
    if (whole.empty() || whole.size() > 7 || !digits(whole) || !digits(part) ||
        (point != std::string::npos && (millis || part.empty() || part.size() > 3))) {
        return std::nullopt;
    }
    long long ms = std::atoll(whole.c_str()) * (millis ? 1 : 1000);
    if (!part.empty()) {
        ms += std::atoll((part + std::string(3 - part.size(), '0')).c_str());
    }
    if (ms > maxMs) {
        return std::nullopt;
    }
    return static_cast<int>(ms);
}

std::string OutOfRange(const std::string& what, int low, int high, const std::string& word) {
    return what + " from " + RangeText(low, high, " to ") + ", not \"" + word + "\"";
}

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}
