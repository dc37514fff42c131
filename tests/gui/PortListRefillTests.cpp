// The window's port list follows ports published and withdrawn while it is
// open: filled again while the port is closed, deferred while it is open,
// the selected item kept when it is still there, no boxes.

#include "LumaretDlg.h"
#include "SimulatedModule.h"
#include "WindowTestSupport.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

namespace {

std::unique_ptr<SimulatedModule> Published(const char* name) {
    auto module = std::make_unique<SimulatedModule>();
    if (!module->Start() || !module->Publish(name)) {
        return nullptr;
    }
    return module;
}

class PortListRefill : public ::testing::Test {
protected:
    void SetUp() override {
        com9 = Published("COM9");
        ASSERT_TRUE(com9);
        DialogServices services;
        services.prompts = &prompts; // the live device map, as the program uses it
        dlg = std::make_unique<CLumaretDlg>(services);
        dlg->Create();
        dlg->show();
        combo = dlg->findChild<QComboBox*>();
        ASSERT_NE(combo, nullptr);
        ASSERT_TRUE(Listed("COM9"));
    }
    bool Listed(const char* name) { return combo->findText(QString::fromLatin1(name)) >= 0; }
    void ClickOpen() {
        QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("IDC_OPEN")), Qt::LeftButton);
    }

    CRecordingPrompts prompts;
    std::unique_ptr<SimulatedModule> com9;
    std::unique_ptr<CLumaretDlg> dlg;
    QComboBox* combo = nullptr;
};

TEST_F(PortListRefill, PortsComingAndGoingReachTheListKeepingTheSelection) {
    combo->setCurrentIndex(combo->findText(QStringLiteral("COM9")));
    auto com12 = Published("COM12");
    ASSERT_TRUE(com12);
    ASSERT_TRUE(WaitFor([&] { return Listed("COM12"); }, 5000));
    EXPECT_EQ(combo->currentText(), "COM9");
    // In the list's own order: sorted as the start fills it.
    EXPECT_LT(combo->findText(QStringLiteral("COM12")), combo->findText(QStringLiteral("COM9")));
    EXPECT_TRUE(combo->itemData(combo->findText(QStringLiteral("COM12")), Qt::ToolTipRole)
                    .toString()
                    .contains(QString::fromStdString(com12->SlavePath())));

    com12.reset();
    ASSERT_TRUE(WaitFor([&] { return !Listed("COM12"); }, 5000));
    EXPECT_EQ(combo->currentText(), "COM9");

    // The selected port goes: the first item is selected, as at the start.
    com9.reset();
    ASSERT_TRUE(WaitFor([&] { return !Listed("COM9"); }, 5000));
    EXPECT_EQ(combo->currentIndex(), combo->count() > 0 ? 0 : -1);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(PortListRefill, WhileThePortIsOpenTheListWaitsForItsClose) {
    combo->setCurrentIndex(combo->findText(QStringLiteral("COM9")));
    ClickOpen();
    ASSERT_TRUE(dlg->IsPortOpen());
    auto com13 = Published("COM13");
    ASSERT_TRUE(com13);
    // Time enough for the change to be seen; the list must not move meanwhile.
    EXPECT_FALSE(WaitFor([&] { return Listed("COM13"); }, 500));
    EXPECT_EQ(combo->currentText(), "COM9");

    ClickOpen(); // Close
    ASSERT_FALSE(dlg->IsPortOpen());
    EXPECT_TRUE(WaitFor([&] { return Listed("COM13"); }, 5000));
    EXPECT_EQ(combo->currentText(), "COM9");
    EXPECT_TRUE(prompts.messages.empty());
}

} // namespace
