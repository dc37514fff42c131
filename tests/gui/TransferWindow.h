#pragma once

// Export and Import through the real dialog against the simulated module: a
// transfer started as the operator starts it, and waits for its end that keep
// the event loop running (the worker waits on it for what it shows).

#include "BulkTiming.h"
#include "ExpectedBytes.h"
#include "ModuleWindow.h"
#include "TestFiles.h"

#include <chrono>
#include <string>
#include <vector>

class Transfers : public ModuleWindow {
protected:
    using Clock = std::chrono::steady_clock;

    void MakeDialog(const ExchangeTiming& timing = BulkTiming(),
                    ThreadStarter startThread = StartThread) {
        ModuleWindow::MakeDialog(timing, true, std::move(startThread));
    }
    // Clicks a transfer's button with the file dialog answering path.
    void Start(const char* button, const std::string& path) {
        prompts.fileName = QString::fromStdString(path);
        QTest::mouseClick(Button(button), Qt::LeftButton);
    }
    // Every worker joined: the command buttons are back.
    bool Idle() {
        return Button("IDC_GET_VERSION")->isEnabled() && Button("IDC_EXPORT")->isEnabled() &&
               Button("IDC_IMPORT")->isEnabled() && dlg->Exporting() == 0 && dlg->Importing() == 0;
    }
    bool WaitIdle(int ms = 60000) {
        return WaitFor([&] { return Idle(); }, ms);
    }
    void Run(const char* button, const std::string& path) {
        Start(button, path);
        ASSERT_TRUE(WaitIdle());
    }
    std::vector<Bytes> Frames() { return module.ReceivedFrames(); }
    bool WaitFrames(size_t count) {
        return WaitFor([&] { return Frames().size() >= count; }, 30000);
    }
};
