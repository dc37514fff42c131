#pragma once

#include "Deadline.h"

#include <chrono>
#include <csignal>
#include <string>
#include <sys/types.h>
#include <vector>

// Where a child's standard input comes from.
enum class ChildInput { Inherit, Null };
// Where a child's standard output goes; File: ChildOptions::outputFile.
enum class ChildOutput { Inherit, Null, Pipe, File };
// Where a child's standard error goes; AsOutput: wherever the output goes.
enum class ChildErrors { Inherit, Pipe, AsOutput };

struct ChildOptions {
    ChildInput input = ChildInput::Inherit;
    ChildOutput output = ChildOutput::Inherit;
    ChildErrors errors = ChildErrors::Inherit;
    // With ChildOutput::File: created, or emptied when it exists (mode 0600).
    std::string outputFile;
    // argv[0] as the child sees it; the program's path when empty.
    std::string name;
    // The child gets SIGTERM when the thread that started it ends, so that it
    // goes with a test that halts at once (a sanitizer's report). Only a fork
    // can arrange that; every other child is spawned.
    bool endWithStartingThread = false;
};

// How a child ended, with what the kernel counted for it.
struct ChildEnd {
    int status = -1; // the exit status, 128 + the signal when killed; -1 unknown
    double cpuSeconds = 0;
    double peakMegabytes = 0;
};

// A program run as a child process by a test or a bench. Its pipes are read
// into Output() and Errors() by the calls that wait; it is killed (SIGKILL)
// and reaped when the object goes while it still runs.
class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;

    ChildProcess() = default;
    // Starts program at once with args (argv[1] on); see Running().
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const ChildOptions& options = {});
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False when one still runs here or the program could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const ChildOptions& options = {});
    // From a successful start until its end is collected.
    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    bool Signal(int sig) const;

    // Waits until bytes come on a pipe, the pipes close or the deadline
    // passes, and takes what came; false once no pipe is open.
    bool ReadSome(const Deadline& until);
    // Reads until text is in the output, the output ends or timeout passes;
    // everything read so far.
    const std::string& OutputUntil(const std::string& text, std::chrono::milliseconds timeout);
    // Reads every pipe to its end (the child's exit closes them); false when
    // the deadline comes first.
    bool ReadToEnd(std::chrono::milliseconds timeout);
    // Waits for the end, reading the pipes meanwhile: the exit status, or -1
    // when it still runs at the deadline.
    int WaitForExit(std::chrono::milliseconds timeout);
    // Collects the end when it has come; true once it has.
    bool Ended();
    // Waits for the end without a deadline.
    ChildEnd Wait();
    // Sends sig and waits for the end.
    ChildEnd Stop(int sig = SIGTERM);

    // Closes the reading end of the output, as 'head' does once it has its lines.
    void CloseOutput();
    const std::string& Output() const { return m_output; }
    const std::string& Errors() const { return m_errors; }

private:
    bool Collect(int flags);
    void ClosePipes();

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_output;
    std::string m_errors;
    ChildEnd m_end;
};
