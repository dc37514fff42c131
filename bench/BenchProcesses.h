#pragma once

// lumaret-cli and lumaret-sim as processes of their own, for the command-line
// benches: simulated modules serving the bench module, and timed runs of the
// command line with the CPU time and peak memory the kernel counted for them.

#include "ChildProcess.h"
#include "RuntimeDir.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

// A file's whole text, empty when it cannot be read.
std::string BenchFileText(const std::string& path);

// lumaret-sim (program) started with args; true once it says it is serving.
bool StartServingSim(ChildProcess& sim, const std::string& program,
                     const std::vector<std::string>& args);

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
    std::vector<ChildProcess> m_sims;
    std::string m_ports;
    bool m_ready = true;
};

// What a command-line bench stands on: a private runtime folder
// (lumaret-NAME-...) and the modules COM<first>.. serving in it. Says on
// standard error, after the bench's name, what did not start.
class CBenchRig {
public:
    CBenchRig(const std::string& name, int first, int count,
              const std::vector<std::string>& options);

    bool Ready() const { return m_modules && m_modules->Ready(); }
    const std::string& Dir() const { return m_dir; }
    const std::string& Ports() const { return m_modules->Ports(); }

private:
    PrivateRuntimeDir m_runtime;
    std::string m_dir;
    std::unique_ptr<CBenchModules> m_modules;
};

struct RunFigures {
    int status = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakMegabytes = 0;
};

// Runs a program (args[0]) to its end, its standard output discarded.
RunFigures RunTimed(const std::vector<std::string>& args);

// A program (args[0]) started with its standard output discarded and its
// standard error on a pipe, for the caller to read through child; AwaitTimed
// then waits for its end and gives its figures, counted from start.
struct TimedProcess {
    ChildProcess child;
    std::chrono::steady_clock::time_point start;
};
TimedProcess StartTimed(const std::vector<std::string>& args);
RunFigures AwaitTimed(TimedProcess& process);

// The whole machine's CPU time so far, in seconds of one core: busy (every
// process) and all (busy and idle) added over its cores.
struct MachineCpu {
    double busy = 0;
    double total = 0;
};
MachineCpu ReadMachineCpu();
