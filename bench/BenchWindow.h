#pragma once

// What the benches of the real dialog share: prompts that answer without a
// person, Qt's offscreen platform, a private runtime folder for the ports,
// and the dialog's services on the fixed timing.

#include "LumaretDlg.h"
#include "RuntimeDir.h"

#include <QString>

#include <cstdio>
#include <filesystem>
#include <vector>

// The file dialogs answered with fileName (none by default) and the boxes
// kept: a box in a bench is a failure to count.
class CBenchPrompts : public IPrompts {
public:
    void MessageBox(QWidget*, const QString& text) override { messages.push_back(text); }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return fileName;
    }
    QString OpenFileName(QWidget*, const QString&, const QString&) override { return fileName; }

    std::vector<QString> messages;
    QString fileName;
};

// Made before the QApplication, so that the offscreen platform is chosen in
// time unless QT_QPA_PLATFORM names another. Says on standard error when the
// runtime folder cannot be made.
class CWindowBench {
public:
    CWindowBench() {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        if (!m_runtime.Valid()) {
            std::perror("lumaret-bench: runtime directory");
        }
        m_services.registry = &m_registry;
        m_services.prompts = &prompts;
        m_services.timing = FixedTiming();
    }
    CWindowBench(const CWindowBench&) = delete;
    CWindowBench& operator=(const CWindowBench&) = delete;

    bool Ready() const { return m_runtime.Valid(); }
    const std::filesystem::path& Dir() const { return m_runtime.Path(); }
    const DialogServices& Services() const { return m_services; }

    CBenchPrompts prompts;

private:
    PrivateRuntimeDir m_runtime{"lumaret-bench"};
    CDeviceMapRegistry m_registry;
    DialogServices m_services;
};
