// Click-to-outcome time of Get, Read, Send and Learn in the real dialog,
// against the simulated module pacing its replies at 9600 baud, next to the
// time the fixed pauses and read endings alone imply.

#include "BenchWindow.h"
#include "CommandFrame.h"
#include "Reply.h"
#include "SimulatedModule.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int RUNS = 5;
constexpr double BYTE_MS = 10.0 / 9.6; // 8N1 at 9600 baud
constexpr double READ_INTERVAL_MS = 100.0;
constexpr uint32_t LEARN_DELAY_MS = 300;

bool PumpUntil(const std::function<bool()>& done, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QPushButton* Button(CLumaretDlg& dlg, const char* name) {
    return dlg.findChild<QPushButton*>(QString::fromLatin1(name));
}

// 64 code bytes, different from each other.
std::vector<uint8_t> SampleCode() {
    std::vector<uint8_t> code(64);
    for (size_t i = 0; i < code.size(); ++i) {
        code[i] = static_cast<uint8_t>(i * 3 + 1);
    }
    return code;
}

// The module paces its replies, learns after LEARN_DELAY_MS, serves COM9 and
// holds code in slot.
bool StartModule(SimulatedModule& module, uint16_t slot, const std::vector<uint8_t>& code) {
    SimFaults faults;
    faults.paced9600 = true;
    faults.learnDelayMs = LEARN_DELAY_MS;
    module.SetFaults(faults);
    if (!module.Start() || !module.Publish("COM9")) {
        std::fprintf(stderr, "the simulated module did not start\n");
        return false;
    }
    module.SetSlot(slot, code);
    return true;
}

// Opens COM9 in the dialog as a user would and types channel 2, key 5.
bool OpenCom9(CLumaretDlg& dlg) {
    auto* combo = dlg.findChild<QComboBox*>(QStringLiteral("IDC_PORT"));
    const int com9 = combo->findText(QStringLiteral("COM9"));
    if (com9 < 0) {
        std::fprintf(stderr, "COM9 is not in the port list\n");
        return false;
    }
    combo->setCurrentIndex(com9);
    Button(dlg, "IDC_OPEN")->click();
    if (!dlg.IsPortOpen()) {
        std::fprintf(stderr, "COM9 did not open\n");
        return false;
    }
    dlg.findChild<QLineEdit*>(QStringLiteral("IDC_CHANNEL"))->setText(QStringLiteral("2"));
    dlg.findChild<QLineEdit*>(QStringLiteral("IDC_KEY_NO"))->setText(QStringLiteral("5"));
    return true;
}

// One button to time: how to clear its outcome, how to see it, and the time
// the fixed pauses and read endings imply.
struct Command {
    const char* name;
    const char* button;
    double impliedMs;
    std::function<void()> reset;
    std::function<bool()> done;
};

std::vector<Command> Commands(CLumaretDlg& dlg, const std::vector<uint8_t>& code) {
    auto* version = dlg.findChild<QLineEdit*>(QStringLiteral("IDC_VERSION"));
    auto* log = dlg.findChild<QPlainTextEdit*>(QStringLiteral("IDC_LOG"));
    const std::vector<uint8_t> codeReply = SimulatedModule::CodeReply(code);
    const double codeReplyBytes = static_cast<double>(codeReply.size());
    const QString codeText =
        QString::fromStdString(HexGroups(codeReply.data(), uint32_t(codeReply.size())));
    const ExchangeTiming& t = FixedTiming();
    return {
        {"Get", "IDC_GET_VERSION", t.getVersionPauseMs + 19 * BYTE_MS + READ_INTERVAL_MS,
         [version] { version->clear(); }, [version] { return !version->text().isEmpty(); }},
        {"Read", "IDC_READ", t.readKeyPauseMs + codeReplyBytes * BYTE_MS + READ_INTERVAL_MS,
         [log] { log->clear(); }, [log, codeText] { return log->toPlainText() == codeText; }},
        {"Send", "IDC_SEND", t.sendKeyPauseMs + 8 * BYTE_MS + READ_INTERVAL_MS,
         [log] { log->clear(); }, [log] { return log->toPlainText() == "Send Ok!"; }},
        {"Learn", "IDC_LEARN", LEARN_DELAY_MS + 8 * BYTE_MS + READ_INTERVAL_MS,
         [log] { log->clear(); }, [log] { return log->toPlainText() == "Learn Ok!"; }},
    };
}

// Clicks c's button RUNS times and prints the median time to its outcome;
// returns the runs that showed none.
int TimeCommand(CLumaretDlg& dlg, const Command& c) {
    int failures = 0;
    std::vector<double> took;
    for (int run = 0; run < RUNS; ++run) {
        c.reset();
        QCoreApplication::processEvents();
        const auto start = Clock::now();
        Button(dlg, c.button)->click();
        if (!PumpUntil(c.done, 10000)) {
            ++failures;
            continue;
        }
        took.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        // Let the learn timer go before the next click.
        PumpUntil([&] { return !dlg.IsLearnPending(); }, 10000);
    }
    if (took.empty()) {
        std::printf("%-6s no outcome shown\n", c.name);
        return failures;
    }
    const double median = Median(took);
    std::printf("%-6s %10.1f %10.1f %7.2f\n", c.name, median, c.impliedMs, median / c.impliedMs);
    return failures;
}

} // namespace

int main(int argc, char** argv) {
    CWindowBench bench;
    if (!bench.Ready()) {
        return 1;
    }
    QApplication app(argc, argv);

    SimulatedModule module;
    const uint16_t slot = KeyIndex(2, 5);
    const std::vector<uint8_t> code = SampleCode();
    if (!StartModule(module, slot, code)) {
        return 1;
    }

    CLumaretDlg dlg(bench.Services());
    dlg.Create();
    dlg.show();
    if (!OpenCom9(dlg)) {
        return 1;
    }

    std::printf("%-6s %10s %10s %7s   (%d runs, replies paced at 9600 baud)\n", "cmd", "median ms",
                "implied ms", "ratio", RUNS);
    int failures = 0;
    for (const Command& c : Commands(dlg, code)) {
        failures += TimeCommand(dlg, c);
    }
    const auto boxes = static_cast<int>(bench.prompts.messages.size());
    if (failures != 0 || boxes != 0) {
        std::printf("runs without an outcome: %d, message boxes: %d\n", failures, boxes);
    }
    module.Stop();
    return failures == 0 && boxes == 0 ? 0 : 1;
}
