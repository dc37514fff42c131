#pragma once

#include "BulkTiming.h"
#include "ChildProcess.h"
#include "Cli.h"
#include "ExchangeTiming.h"
#include "ExpectedBytes.h"
#include "RuntimeDir.h"
#include "SimulatedModule.h"
#include "TestFiles.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// What a run of the command line left behind.
struct CliResult {
    int exit = -1;
    std::string out;
    std::string err;
};

// The command line's whole logic in this process, on the given timing;
// answerFd stands in for an operator's terminal.
CliResult RunInProcess(std::vector<std::string> args, const ExchangeTiming& timing = BulkTiming(),
                       CRunControl* control = nullptr, bool terminal = false, int answerFd = -1);

// The built lumaret-cli program with its output on pipes.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& args);

    bool Started() const { return m_child.Running(); }
    bool Signal(int sig) { return m_child.Signal(sig); }
    // Waits for the end, reading both outputs; exit -1 when the deadline passed.
    CliResult Wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));

private:
    ChildProcess m_child;
};

// Runs the program to its end.
CliResult RunProgram(std::vector<std::string> args,
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));

bool FileExists(const std::string& path);

// The lines of a program's output, each without its newline.
std::vector<std::string> OutputLines(const std::string& out);

// The built lumaret-sim serving with the given options, its output dropped;
// killed outright when the object goes.
class SimProgram {
public:
    explicit SimProgram(const std::vector<std::string>& args);

    pid_t Pid() const { return m_child.Pid(); }
    void Kill() { m_child.Stop(SIGKILL); }

private:
    ChildProcess m_child;
};

// A simulated module published as comName under the test's runtime directory.
std::unique_ptr<SimulatedModule> StartModule(const std::string& comName, bool empty = true);

// Gives every third slot (1, 4, ... 445) a code of 20-69 bytes; returns the
// database line of each, in slot order. Empty when a slot refused its code.
std::vector<std::string> SeedEveryThirdSlot(SimulatedModule& module);

// A git repository as libgit2 reads it, for the backups' checks. For as long
// as it lives, libgit2 in this process reads no git configuration but the
// repository's own (the user's would name the author).
class GitRepositorySeen {
public:
    explicit GitRepositorySeen(std::string dir);
    ~GitRepositorySeen();
    GitRepositorySeen(const GitRepositorySeen&) = delete;
    GitRepositorySeen& operator=(const GitRepositorySeen&) = delete;

    struct Commit {
        std::string id; // full hexadecimal
        std::string message;
        std::string author;
    };
    // The commits from HEAD back, newest first; none without a repository.
    std::vector<Commit> Log() const;
    // The bytes of path at rev ("HEAD~1"); "(none)" when it is not there.
    std::string FileAt(const std::string& rev, const std::string& path) const;
    // user.name in the repository's own configuration.
    bool SetAuthor(const std::string& name, const std::string& email) const;

private:
    std::string m_dir;
};

// Waits for a condition with a deadline.
template <typename F> bool WaitFor(F condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        struct timespec pause {
            0, 5 * 1000 * 1000
        };
        nanosleep(&pause, nullptr);
    }
    return true;
}
