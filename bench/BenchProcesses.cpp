#include "BenchProcesses.h"

#include "BenchModule.h"
#include "DatabaseFile.h"

#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

TimedProcess StartTimed(const std::vector<std::string>& args, ChildErrors errors) {
    TimedProcess process;
    ChildOptions options;
    options.output = ChildOutput::Null;
    options.errors = errors;
    process.start = Clock::now();
    process.child.Start(args.front(), {args.begin() + 1, args.end()}, options);
    return process;
}

} // namespace

std::string BenchFileText(const std::string& path) {
    CDatabaseFile file;
    std::string text;
    if (!file.OpenForReading(path) || !file.ReadAll(text)) {
        text.clear();
    }
    return text;
}

bool StartServingSim(ChildProcess& sim, const std::string& program,
                     const std::vector<std::string>& args) {
    ChildOptions options;
    options.output = ChildOutput::Pipe;
    const bool serving =
        sim.Start(program, args, options) &&
        sim.OutputUntil("serving", std::chrono::seconds(10)).find("serving") != std::string::npos;
    // Nothing more is read from it.
    sim.CloseOutput();
    return serving;
}

CBenchModules::CBenchModules(const std::string& dir, int first, int count,
                             const std::vector<std::string>& options) {
    const std::string contentPath = dir + "/content.txt";
    std::ofstream(contentPath, std::ios::binary) << BenchModuleContent();
    for (int i = 0; i < count && m_ready; ++i) {
        const std::string port = "COM" + std::to_string(first + i);
        std::vector<std::string> args = {"--port", port, "--load", contentPath};
        args.insert(args.end(), options.begin(), options.end());
        m_ready = StartServingSim(m_sims.emplace_back(), LUMARET_SIM_PROGRAM, args);
        m_ports += (i > 0 ? "," : "") + port;
    }
}

CBenchModules::~CBenchModules() {
    for (ChildProcess& sim : m_sims) {
        sim.Stop(SIGTERM);
    }
}

CBenchRig::CBenchRig(const std::string& name, int first, int count,
                     const std::vector<std::string>& options)
    : m_runtime(("lumaret-" + name).c_str()), m_dir(m_runtime.Path().string()) {
    if (!m_runtime.Valid()) {
        std::perror((name + ": runtime directory").c_str());
        return;
    }
    m_modules = std::make_unique<CBenchModules>(m_dir, first, count, options);
    if (!m_modules->Ready()) {
        std::fprintf(stderr, "%s: the simulated module%s did not start\n", name.c_str(),
                     count > 1 ? "s" : "");
    }
}

RunFigures RunTimed(const std::vector<std::string>& args) {
    TimedProcess process = StartTimed(args, ChildErrors::Inherit);
    return AwaitTimed(process);
}

TimedProcess StartTimed(const std::vector<std::string>& args) {
    return StartTimed(args, ChildErrors::Pipe);
}

RunFigures AwaitTimed(TimedProcess& process) {
    RunFigures f;
    if (!process.child.Running()) {
        return f;
    }
    const ChildEnd end = process.child.Wait();
    f.wallSeconds = std::chrono::duration<double>(Clock::now() - process.start).count();
    f.status = end.status;
    f.cpuSeconds = end.cpuSeconds;
    f.peakMegabytes = end.peakMegabytes;
    return f;
}

MachineCpu ReadMachineCpu() {
    MachineCpu cpu;
    std::ifstream stat("/proc/stat");
    std::string name;
    stat >> name;
    if (name != "cpu") {
        return cpu;
    }
    // user nice system idle iowait irq softirq steal, in clock ticks
    double ticks[8] = {};
    for (double& t : ticks) {
        stat >> t;
    }
    const double tick = 1.0 / double(sysconf(_SC_CLK_TCK));
    for (int i = 0; i < 8; ++i) {
        cpu.total += ticks[i] * tick;
        cpu.busy += i == 3 || i == 4 ? 0 : ticks[i] * tick;
    }
    return cpu;
}
