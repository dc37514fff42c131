#pragma once

// What the window tests share: a prompts object that records instead of
// showing, and a wait that keeps the event loop running.

#include "Prompts.h"

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <functional>
#include <vector>

class CRecordingPrompts : public IPrompts {
public:
    void MessageBox(QWidget*, const QString& text) override { messages.push_back(text); }
    QString SaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString OpenFileName(QWidget*, const QString&) override { return {}; }
    std::vector<QString> messages;
};

// Runs the event loop until done() holds or ms pass; false on the deadline.
inline bool WaitFor(const std::function<bool()>& done, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
