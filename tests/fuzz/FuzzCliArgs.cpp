#include "CommandTable.h"
#include "ExitStatus.h"
#include "Options.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

// Any command line of up to 16 arguments, the input split at NUL and newline
// bytes: the parse either runs a command with checked options or ends with
// help, the version or a usage error. An exception out of the parse ends the
// run here as a crash.
namespace {

constexpr size_t MAX_ARGS = 16;

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

std::vector<std::string> ArgsOf(const uint8_t* data, size_t size) {
    if (size == 0) {
        return {};
    }
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c != '\0' && c != '\n') {
            args.back() += c;
        } else if (args.size() == MAX_ARGS) {
            break;
        } else {
            args.emplace_back();
        }
    }
    return args;
}

bool KeyInRange(const CliOptions& o) {
    return o.channel >= 1 && o.channel <= 4 && o.key >= 1 && o.key <= 100;
}

// Names from a list given at the command line: none empty, none with a
// comma or blanks around it left.
bool NamesUsable(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (name.empty() || name.find(',') != std::string::npos || name.front() == ' ' ||
            name.front() == '\t' || name.back() == ' ' || name.back() == '\t') {
            return false;
        }
    }
    return true;
}

void CheckRunnable(const CliOptions& o) {
    Check(o.command != nullptr);
    Check(NamesUsable(o.ports));
    Check(NamesUsable(o.targets));
    const std::string& name = o.command->name;
    if (name == "read" && o.slot != 0) {
        // Either a slot, or a channel and key, never both.
        Check(o.slot >= 1 && o.slot <= 448);
        Check(o.channel == 0 && o.key == 0);
    } else if (name == "read" || name == "send" || name == "learn") {
        Check(KeyInRange(o));
    } else if (name == "clone") {
        Check(o.ports.size() == 1);
        Check(!o.targets.empty());
    } else if (name == "export") {
        Check(o.ports.size() == 1 || o.file.find("{port}") != std::string::npos ||
              o.file.find("{serial}") != std::string::npos ||
              o.file.find("{module}") != std::string::npos);
    }
    const bool portless =
        name == "ports" || name == "diff" || name == "show" || (name == "import" && o.dryRun);
    Check(portless || !o.ports.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> args = ArgsOf(data, size);
    CliOptions options;
    std::ostringstream out;
    std::ostringstream err;
    const ParseOutcome outcome = ParseOptions(args, options, out, err);
    if (outcome.run) {
        // A command to run: nothing said yet.
        Check(outcome.exit == 0);
        Check(out.str().empty() && err.str().empty());
        CheckRunnable(options);
    } else if (outcome.exit == 0) {
        // Help or the version, on standard output only.
        Check(!out.str().empty() && err.str().empty());
    } else {
        // A usage error, said on standard error; with --json also as JSON
        // on standard output.
        Check(outcome.exit == EXIT_USAGE);
        Check(!err.str().empty());
        const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
        Check(json ? out.str().find("\"exit\": 2") != std::string::npos : out.str().empty());
    }
    return 0;
}
