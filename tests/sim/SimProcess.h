#pragma once

#include "ChildProcess.h"

#include <string>
#include <vector>

// lumaret-sim run as a child process, as an operator runs it, with its
// standard output and error on one pipe.
class SimProcess : public ChildProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args)
        : ChildProcess(LUMARET_SIM_PROGRAM, args, Streams()) {}

private:
    static ChildOptions Streams() {
        ChildOptions options;
        options.output = ChildOutput::Pipe;
        options.errors = ChildErrors::AsOutput;
        return options;
    }
};
