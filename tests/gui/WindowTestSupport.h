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
    // What a file dialog was asked to show.
    struct FileDialog {
        bool save = false;
        QString filter;
        QString defaultExtension;
        QString initialName;
    };

    void MessageBox(QWidget*, const QString& text) override {
        messages.push_back(text);
        if (onMessage) {
            onMessage(text);
        }
    }
    QString SaveFileName(QWidget*, const QString& filter, const QString& defaultExtension,
                         const QString& initialName) override {
        fileDialogs.push_back({true, filter, defaultExtension, initialName});
        return fileName;
    }
    QString OpenFileName(QWidget*, const QString& filter,
                         const QString& defaultExtension) override {
        fileDialogs.push_back({false, filter, defaultExtension, {}});
        return fileName;
    }

    std::vector<QString> messages;
    std::vector<FileDialog> fileDialogs;
    // The path every file dialog answers with; empty as if cancelled.
    QString fileName;
    // Called for each box before it "closes".
    std::function<void(const QString&)> onMessage;
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
