#pragma once

// The real main dialog with an empty simulated module published as COM9 as
// its only port, a folder of the test's own and the prompts recorded.

#include "LumaretDlg.h"
#include "ModuleFixture.h"
#include "SimulatedModule.h"
#include "WindowTestSupport.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class ModuleWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(StartPublished(module, "COM9"));
        ListModule();
    }
    void TearDown() override {
        dlg.reset();
        module.Stop();
    }
    // The device map the dialog lists: the module's link as COM9.
    void ListModule() {
        registry = std::make_unique<CPortValueList>(
            std::vector<DeviceMapEntry>{{module.PublishedLink(), "COM9"}});
    }
    // Makes and shows the dialog, then with open clicks Open.
    void MakeDialog(const ExchangeTiming& timing, bool open = true,
                    ThreadStarter startThread = StartThread) {
        DialogServices services;
        services.registry = registry.get();
        services.prompts = &prompts;
        services.timing = timing;
        services.startThread = std::move(startThread);
        dlg = std::make_unique<CLumaretDlg>(services);
        dlg->Create();
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        if (open) {
            QTest::mouseClick(Button("IDC_OPEN"), Qt::LeftButton);
            ASSERT_TRUE(dlg->IsPortOpen());
        }
    }
    QPushButton* Button(const char* name) {
        return dlg->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QProgressBar* Progress() {
        return dlg->findChild<QProgressBar*>(QStringLiteral("IDC_PROGRESS"));
    }
    QString LogText() {
        return dlg->findChild<QPlainTextEdit*>(QStringLiteral("IDC_LOG"))->toPlainText();
    }
    std::string Path(const char* name) { return QDir(dir.path()).filePath(name).toStdString(); }

    QTemporaryDir dir;
    SimulatedModule module;
    CRecordingPrompts prompts;
    std::unique_ptr<CPortValueList> registry;
    std::unique_ptr<CLumaretDlg> dlg;
};
