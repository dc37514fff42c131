#pragma once

// The real main dialog on the offscreen platform, driven by typed keys and
// clicks, with a recording prompts object and a device map of the test's own.

#include "LumaretDlg.h"
#include "WindowTestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// A key whose calls can be made to fail one by one.
class CFakeRegistry : public CPortValueList {
public:
    using CPortValueList::CPortValueList;
    long OpenKey() override { return openStatus; }
    long QueryInfoKey(uint32_t& count, uint32_t& longest) override {
        return infoStatus != PORT_REG_SUCCESS ? infoStatus
                                              : CPortValueList::QueryInfoKey(count, longest);
    }
    long EnumValueName(uint32_t index, char* name, uint32_t& length) override {
        return static_cast<int>(index) == failEnumAt
                   ? 5L
                   : CPortValueList::EnumValueName(index, name, length);
    }
    long openStatus = PORT_REG_SUCCESS;
    long infoStatus = PORT_REG_SUCCESS;
    int failEnumAt = -1;
};

class MainWindow : public ::testing::Test {
protected:
    void Make(std::vector<DeviceMapEntry> ports) {
        registry = std::make_unique<CFakeRegistry>(std::move(ports));
        MakeWith();
    }
    void MakeWith() {
        DialogServices services;
        services.registry = registry.get();
        services.prompts = &prompts;
        services.timing = timing;
        dlg = std::make_unique<CLumaretDlg>(services);
        dlg->Create();
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        dlg->activateWindow();
        (void)QTest::qWaitForWindowActive(dlg.get());
    }
    template <typename W> W* Find(const char* name) {
        return dlg->findChild<W*>(QString::fromLatin1(name));
    }
    QPushButton* Button(const char* name) { return Find<QPushButton>(name); }
    QString LogText() { return dlg->findChild<QPlainTextEdit*>("IDC_LOG")->toPlainText(); }
    QComboBox* Combo() { return Find<QComboBox>("IDC_PORT"); }

    CRecordingPrompts prompts;
    ExchangeTiming timing = ScaledTiming(0.25);
    std::unique_ptr<CFakeRegistry> registry;
    std::unique_ptr<CLumaretDlg> dlg;
};
