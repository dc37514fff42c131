#pragma once

// lumaret-cli and lumaret-sim as processes of their own, for the command-line
// benches: simulated modules serving the bench module, and timed runs of the
// command line with the CPU time and peak memory the kernel counted for them.

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// A file's whole text, empty when it cannot be read.
std::string BenchFileText(const std::string& path);

// Simulated modules COM<first>..COM<first+count-1>, each lumaret-sim with
// options on content.txt in dir; stopped when it goes.
class CBenchModules {
public:
    CBenchModules(const std::string& dir, int first, int count,
                  const std::vector<std::string>& options);
    ~CBenchModules();
    CBenchModules(const CBenchModules&) = delete;
    CBenchModules& operator=(const CBenchModules&) = delete;

    bool Ready() const { return m_ready; }
    // "COM11,COM12,..."
    const std::string& Ports() const { return m_ports; }

private:
    std::vector<pid_t> m_sims;
    std::string m_ports;
    bool m_ready = true;
};

struct RunFigures {
    int status = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakMegabytes = 0;
};

// Runs a program to its end, its standard output discarded.
RunFigures RunTimed(const std::vector<std::string>& args);

// A program started with its standard output discarded and its standard
// error on a pipe (errFd, non-blocking, for the caller to read and close);
// AwaitTimed then waits for its end and gives its figures, counted from start.
struct TimedProcess {
    pid_t pid = -1;
    int errFd = -1;
    std::chrono::steady_clock::time_point start;
};
TimedProcess StartTimed(const std::vector<std::string>& args);
RunFigures AwaitTimed(const TimedProcess& process);
