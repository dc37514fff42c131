// Click-to-outcome time of Get, Read, Send and Learn in the real dialog,
// against the simulated module pacing its replies at 9600 baud, next to the
// time the fixed pauses and read endings alone imply.

#include "CommandFrame.h"
#include "LumaretDlg.h"
#include "Reply.h"
#include "RuntimeDir.h"
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

// A silent prompts object: a box in the bench would be a failure to count.
class CCountingPrompts : public IPrompts {
public:
    void MessageBox(QWidget*, const QString&) override { ++boxes; }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString OpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    int boxes = 0;
};

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

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const PrivateRuntimeDir runtime("lumaret-bench");
    if (!runtime.Valid()) {
        std::perror("lumaret-bench: runtime directory");
        return 1;
    }
    QApplication app(argc, argv);

    SimulatedModule module;
    SimFaults faults;
    faults.paced9600 = true;
    faults.learnDelayMs = LEARN_DELAY_MS;
    module.SetFaults(faults);
    if (!module.Start() || !module.Publish("COM9")) {
        std::fprintf(stderr, "the simulated module did not start\n");
        return 1;
    }
    const uint16_t slot = KeyIndex(2, 5);
    std::vector<uint8_t> code(64);
    for (size_t i = 0; i < code.size(); ++i) {
        code[i] = static_cast<uint8_t>(i * 3 + 1);
    }
    module.SetSlot(slot, code);
    const double codeReplyBytes = static_cast<double>(SimulatedModule::CodeReply(code).size());

    CDeviceMapRegistry registry;
    CCountingPrompts prompts;
    DialogServices services;
    services.registry = &registry;
    services.prompts = &prompts;
    services.timing = FixedTiming();
    CLumaretDlg dlg(services);
    dlg.Create();
    dlg.show();

    auto* combo = dlg.findChild<QComboBox*>(QStringLiteral("IDC_PORT"));
    auto button = [&](const char* name) {
        return dlg.findChild<QPushButton*>(QString::fromLatin1(name));
    };
    auto* version = dlg.findChild<QLineEdit*>(QStringLiteral("IDC_VERSION"));
    auto* log = dlg.findChild<QPlainTextEdit*>(QStringLiteral("IDC_LOG"));
    const int com9 = combo->findText(QStringLiteral("COM9"));
    if (com9 < 0) {
        std::fprintf(stderr, "COM9 is not in the port list\n");
        return 1;
    }
    combo->setCurrentIndex(com9);
    button("IDC_OPEN")->click();
    if (!dlg.IsPortOpen()) {
        std::fprintf(stderr, "COM9 did not open\n");
        return 1;
    }
    dlg.findChild<QLineEdit*>(QStringLiteral("IDC_CHANNEL"))->setText(QStringLiteral("2"));
    dlg.findChild<QLineEdit*>(QStringLiteral("IDC_KEY_NO"))->setText(QStringLiteral("5"));

    const std::vector<uint8_t> codeReply = SimulatedModule::CodeReply(code);
    const QString codeText =
        QString::fromStdString(HexGroups(codeReply.data(), uint32_t(codeReply.size())));

    struct Command {
        const char* name;
        const char* button;
        double impliedMs;
        std::function<void()> reset;
        std::function<bool()> done;
    };
    const ExchangeTiming& t = FixedTiming();
    const Command commands[] = {
        {"Get", "IDC_GET_VERSION", t.getVersionPauseMs + 19 * BYTE_MS + READ_INTERVAL_MS,
         [&] { version->clear(); }, [&] { return !version->text().isEmpty(); }},
        {"Read", "IDC_READ", t.readKeyPauseMs + codeReplyBytes * BYTE_MS + READ_INTERVAL_MS,
         [&] { log->clear(); }, [&] { return log->toPlainText() == codeText; }},
        {"Send", "IDC_SEND", t.sendKeyPauseMs + 8 * BYTE_MS + READ_INTERVAL_MS,
         [&] { log->clear(); }, [&] { return log->toPlainText() == "Send Ok!"; }},
        {"Learn", "IDC_LEARN", LEARN_DELAY_MS + 8 * BYTE_MS + READ_INTERVAL_MS,
         [&] { log->clear(); }, [&] { return log->toPlainText() == "Learn Ok!"; }},
    };

    std::printf("%-6s %10s %10s %7s   (%d runs, replies paced at 9600 baud)\n", "cmd", "median ms",
                "implied ms", "ratio", RUNS);
    int failures = 0;
    for (const Command& c : commands) {
        std::vector<double> took;
        for (int run = 0; run < RUNS; ++run) {
            c.reset();
            QCoreApplication::processEvents();
            const auto start = Clock::now();
            button(c.button)->click();
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
            continue;
        }
        const double median = Median(took);
        std::printf("%-6s %10.1f %10.1f %7.2f\n", c.name, median, c.impliedMs,
                    median / c.impliedMs);
    }
    if (failures != 0 || prompts.boxes != 0) {
        std::printf("runs without an outcome: %d, message boxes: %d\n", failures, prompts.boxes);
    }
    module.Stop();
    return failures == 0 && prompts.boxes == 0 ? 0 : 1;
}
