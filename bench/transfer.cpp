// A whole export (448 slots, about a third holding codes of 20-500 bytes) and
// a 448-line import through the real dialog, against lumaret-sim pacing its
// replies at 9600 baud in a process of its own. Prints for each the measured
// time next to the time the fixed pauses, line time and read endings imply,
// the CPU time this process used (the bench's probe thread left out), its
// peak memory, and how long events waited on the UI thread while the transfer
// ran; then the CPU ticks of a minute idle before the port opens and after
// the import.

#include "BenchModule.h"
#include "BenchWindow.h"
#include "ChildProcess.h"
#include "CommandFrame.h"
#include "DatabaseFormat.h"
#include "SimulatedModule.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <pthread.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double BYTE_MS = 10.0 / 9.6; // 8N1 at 9600 baud
constexpr double READ_INTERVAL_MS = 100.0;
constexpr double TURNAROUND_MS = 2.0; // lumaret-sim's default
// How often the UI thread's latency is probed: often enough for its 99th
// percentile, seldom enough that the probes do not make up the CPU measured.
constexpr std::chrono::milliseconds PROBE_PERIOD{50};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double ThreadCpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0.0;
    }
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// The clock ticks of CPU time this process has used, as /proc counts them.
long CpuTicks() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    // The fields after the command's closing parenthesis; utime and stime are the 14th and 15th.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14) {
            ticks += std::stol(field);
        }
    }
    return ticks;
}

// The ticks used while the window sits idle for a minute.
long IdleTicks() {
    const long before = CpuTicks();
    QEventLoop loop;
    QTimer::singleShot(std::chrono::minutes(1), &loop, &QEventLoop::quit);
    loop.exec();
    return CpuTicks() - before;
}

// Runs the event loop (sleeping, not spinning) until done() holds, looking
// every 100 ms: the measured time may run up to that much long.
void RunUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    check.start(100);
    loop.exec();
}

struct Figures {
    double wallS = 0;
    double impliedS = 0;
    double cpuS = 0;
    std::vector<double> latencyMs;
};

// Measures one transfer: clicks the button, runs the event loop until every
// worker is gone, and meanwhile posts a probe event every PROBE_PERIOD.
Figures Measure(CLumaretDlg& dlg, QPushButton* button, double impliedS) {
    Figures f;
    f.impliedS = impliedS;
    std::atomic<bool> running{true};
    std::vector<double> latency;
    std::thread probe([&] {
        while (running) {
            const auto posted = Clock::now();
            QMetaObject::invokeMethod(
                &dlg,
                [&latency, posted] {
                    latency.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - posted).count());
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(PROBE_PERIOD);
        }
    });
    auto* get = dlg.findChild<QPushButton*>(QStringLiteral("IDC_GET_VERSION"));
    // The probe thread is the bench's, not the window's: its own CPU time is
    // left out (the UI thread's handling of its probes stays in).
    clockid_t probeClock{};
    pthread_getcpuclockid(probe.native_handle(), &probeClock);
    const double probe0 = ThreadCpuSeconds(probeClock);
    const double cpu0 = CpuSeconds();
    const auto start = Clock::now();
    button->click();
    RunUntil([&] { return get->isEnabled() && dlg.Exporting() == 0 && dlg.Importing() == 0; });
    f.wallS = std::chrono::duration<double>(Clock::now() - start).count();
    f.cpuS = CpuSeconds() - cpu0 - (ThreadCpuSeconds(probeClock) - probe0);
    running = false;
    probe.join();
    QCoreApplication::processEvents();
    f.latencyMs = std::move(latency);
    return f;
}

void Print(const char* name, const Figures& f) {
    std::printf("%-7s measured %7.2f s   implied %7.2f s   ratio %.4f   CPU %.3f s (%.2f%% of wall)"
                "   UI event latency p50 %.2f ms p99 %.2f ms (%zu probes)\n",
                name, f.wallS, f.impliedS, f.wallS / f.impliedS, f.cpuS, 100.0 * f.cpuS / f.wallS,
                Percentile(f.latencyMs, 0.50), Percentile(f.latencyMs, 0.99), f.latencyMs.size());
}

// The simulator's database (the module's codes) and the 448-line file to
// import, with the time the fixed pauses, line time and read endings imply
// for each transfer.
struct TransferFiles {
    std::string moduleFile;
    std::string importFile;
    double exportImpliedMs = 0;
    double importImpliedMs = 0;
};

TransferFiles PlanFiles(const std::map<uint16_t, std::vector<uint8_t>>& content) {
    TransferFiles files;
    for (uint16_t slot = 1; slot <= 448; ++slot) {
        const auto it = content.find(slot);
        const std::vector<uint8_t> code = it == content.end() ? std::vector<uint8_t>{} : it->second;
        // Request and reply on the paced line, the turnaround between them:
        // the reply's last byte comes then or, if sooner, the pause still
        // runs; the read ends 100 ms after it.
        const double replyBytes = static_cast<double>(code.size()) + 8.0;
        const double readMs = (BuildReadFrame(slot).size + replyBytes) * BYTE_MS + TURNAROUND_MS;
        files.exportImpliedMs += std::max(100.0, readMs) + READ_INTERVAL_MS;
        // Each line of the import: the write frame of the line's code (its
        // whole reply) on the line, the turnaround and the 8-byte answer, or
        // the 500 ms pause if longer; the read ends 100 ms after it.
        const auto reply = SimulatedModule::CodeReply(code);
        const double writeMs =
            (BuildWriteFrame(slot, reply.data(), static_cast<uint32_t>(reply.size())).size + 8.0) *
                BYTE_MS +
            TURNAROUND_MS;
        files.importImpliedMs += std::max(500.0, writeMs) + READ_INTERVAL_MS;
    }
    files.moduleFile = BenchModuleContent();
    files.importFile = BenchImportFile();
    return files;
}

// Starts lumaret-sim on module.txt in its own process, serving COM9 paced,
// and waits (up to 5 s) for its port link.
bool StartSimulator(ChildProcess& sim, const std::filesystem::path& dir) {
    const std::string loadPath = (dir / "module.txt").string();
    if (!sim.Start(LUMARET_SIM_PROGRAM, {"--port", "COM9", "--paced", "--load", loadPath})) {
        std::perror("lumaret-sim");
        return false;
    }
    const auto link = dir / "lumaret" / "ports" / "COM9";
    for (int i = 0; i < 500 && !std::filesystem::exists(link); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Opens COM9 in the dialog, exports into export.txt, imports import.txt and
// prints the figures. 0 when the export file holds what the module does and
// both logs say the transfer went well.
int ExportThenImport(const DialogServices& services, CBenchPrompts& prompts,
                     const std::filesystem::path& dir, const TransferFiles& files,
                     size_t codeSlots) {
    CLumaretDlg dlg(services);
    dlg.Create();
    dlg.show();
    const long idleClosed = IdleTicks();
    auto* combo = dlg.findChild<QComboBox*>(QStringLiteral("IDC_PORT"));
    combo->setCurrentIndex(combo->findText(QStringLiteral("COM9")));
    dlg.findChild<QPushButton*>(QStringLiteral("IDC_OPEN"))->click();
    if (!dlg.IsPortOpen()) {
        std::fprintf(stderr, "COM9 did not open\n");
        return 1;
    }
    auto* log = dlg.findChild<QPlainTextEdit*>(QStringLiteral("IDC_LOG"));
    prompts.fileName = QString::fromStdString((dir / "export.txt").string());
    const Figures exported = Measure(dlg, dlg.findChild<QPushButton*>(QStringLiteral("IDC_EXPORT")),
                                     files.exportImpliedMs / 1000.0);
    const QString exportLog = log->toPlainText();
    prompts.fileName = QString::fromStdString((dir / "import.txt").string());
    const Figures imported = Measure(dlg, dlg.findChild<QPushButton*>(QStringLiteral("IDC_IMPORT")),
                                     files.importImpliedMs / 1000.0);
    const QString importLog = log->toPlainText();
    const long idleOpen = IdleTicks();

    std::ifstream in(dir / "export.txt", std::ios::binary);
    const std::string exportedText((std::istreambuf_iterator<char>(in)), {});
    std::printf("module: %zu of 448 slots hold codes; export file %zu bytes (%s, %s); "
                "import %s, %zu boxes\n",
                codeSlots, exportedText.size(),
                exportedText == files.moduleFile ? "as the module holds" : "DIFFERENT",
                exportLog.toLatin1().constData(), importLog.toLatin1().constData(),
                prompts.messages.size());
    Print("export", exported);
    Print("import", imported);
    std::printf("peak memory %.1f MB\n", PeakMegabytes());
    std::printf("idle window, one minute each: %ld ticks with the port closed, %ld with it open\n",
                idleClosed, idleOpen);
    if (exportedText != files.moduleFile || exportLog != "Export ok" || importLog != "Import ok") {
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CWindowBench bench;
    if (!bench.Ready()) {
        return 1;
    }
    const std::filesystem::path& dir = bench.Dir();

    const auto content = BenchModuleCodes();
    const TransferFiles files = PlanFiles(content);
    std::ofstream(dir / "module.txt", std::ios::binary) << files.moduleFile;
    std::ofstream(dir / "import.txt", std::ios::binary) << files.importFile;
    ChildProcess sim;
    if (!StartSimulator(sim, dir)) {
        return 1;
    }

    QApplication app(argc, argv);
    const int status =
        ExportThenImport(bench.Services(), bench.prompts, dir, files, content.size());
    sim.Stop(SIGTERM);
    return status;
}
