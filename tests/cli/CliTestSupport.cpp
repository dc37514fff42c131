#include "CliTestSupport.h"

#include "Crc16.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

CliResult RunInProcess(std::vector<std::string> args, const ExchangeTiming& timing,
                       CRunControl* control, bool terminal, int answerFd) {
    std::ostringstream out, err;
    CRunControl own;
    CliEnvironment env{out, err, terminal, timing, control != nullptr ? *control : own};
    env.answerFd = answerFd;
    CliResult result;
    result.exit = RunCli(args, env);
    result.out = out.str();
    result.err = err.str();
    return result;
}

CliProcess::CliProcess(const std::vector<std::string>& args) {
    ChildOptions options;
    options.input = ChildInput::Null;
    options.output = ChildOutput::Pipe;
    options.errors = ChildErrors::Pipe;
    m_child.Start(LUMARET_CLI_PROGRAM, args, options);
}

CliResult CliProcess::Wait(std::chrono::milliseconds timeout) {
    CliResult result;
    // Both pipes to their ends: the program has closed them by exiting.
    if (m_child.ReadToEnd(timeout)) {
        result.exit = m_child.Wait().status;
    }
    result.out = m_child.Output();
    result.err = m_child.Errors();
    return result;
}

CliResult RunProgram(std::vector<std::string> args, std::chrono::milliseconds timeout) {
    CliProcess process(std::move(args));
    return process.Wait(timeout);
}

SimProgram::SimProgram(const std::vector<std::string>& args) {
    ChildOptions options;
    options.output = ChildOutput::Null;
    m_child.Start(LUMARET_SIM_PROGRAM, args, options);
}

std::vector<std::string> OutputLines(const std::string& out) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(out.substr(start, end - start));
    }
    return lines;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> SeedEveryThirdSlot(SimulatedModule& module) {
    std::vector<std::string> lines;
    for (uint16_t slot = 1; slot <= 448; slot += 3) {
        const Bytes code = CodePattern(20 + slot % 50, static_cast<uint8_t>(slot));
        if (!module.SetSlot(slot, code)) {
            return {};
        }
        lines.push_back(ExpectedLine(slot, code));
    }
    return lines;
}

std::unique_ptr<SimulatedModule> StartModule(const std::string& comName, bool empty) {
    auto module = std::make_unique<SimulatedModule>();
    if (!module->Start() || !module->Publish(comName)) {
        return nullptr;
    }
    if (empty) {
        module->ClearSlots();
    }
    return module;
}
