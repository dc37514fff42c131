// The real dialog against the simulated module on a pseudo-terminal: what the
// operator sees, and the frames the module received, byte for byte.

#include "ExpectedBytes.h"
#include "LumaretDlg.h"
#include "SimulatedModule.h"
#include "WindowTestSupport.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

namespace {

// Channel 2, key 5 (index 0x0069, mask 0x02) throughout.
const Bytes& GET_FRAME = WORKED_GET_FRAME;
const Bytes& READ_FRAME = WORKED_READ_FRAME;
const Bytes& SEND_FRAME = WORKED_SEND_FRAME;
const Bytes& LEARN_FRAME = WORKED_LEARN_FRAME;

class SimulatorWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.Start());
        ASSERT_TRUE(module.Publish("COM9"));
        registry = std::make_unique<CPortValueList>(
            std::vector<DeviceMapEntry>{{module.PublishedLink(), "COM9"}});
        DialogServices services;
        services.registry = registry.get();
        services.prompts = &prompts;
        services.timing = ScaledTiming(0.25);
        // Few empty polls, so a learn that never completes ends in about two seconds.
        services.timing.learnPolls = 5;
        dlg = std::make_unique<CLumaretDlg>(services);
        dlg->Create();
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        QTest::mouseClick(Button("IDC_OPEN"), Qt::LeftButton);
        ASSERT_TRUE(dlg->IsPortOpen());
        Edit("IDC_CHANNEL")->setText(QStringLiteral("2"));
        Edit("IDC_KEY_NO")->setText(QStringLiteral("5"));
    }
    void TearDown() override {
        dlg.reset();
        module.Stop();
    }
    QPushButton* Button(const char* name) {
        return dlg->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QLineEdit* Edit(const char* name) {
        return dlg->findChild<QLineEdit*>(QString::fromLatin1(name));
    }
    QString LogText() {
        return dlg->findChild<QPlainTextEdit*>(QStringLiteral("IDC_LOG"))->toPlainText();
    }
    void Faults(const std::function<void(SimFaults&)>& change) {
        SimFaults faults;
        faults.learnDelayMs = 300;
        change(faults);
        module.SetFaults(faults);
    }

    SimulatedModule module;
    CRecordingPrompts prompts;
    std::unique_ptr<CPortValueList> registry;
    std::unique_ptr<CLumaretDlg> dlg;
};

QString HexDump(const Bytes& bytes) {
    QString text;
    for (uint8_t b : bytes) {
        text += QString::asprintf("%02X ", b);
    }
    return text;
}

TEST_F(SimulatorWindow, GetReadAndSendPutTheWorkedFramesOnTheWire) {
    const Bytes code{0x11, 0x22, 0x00, 0x44, 0xFF};
    struct Case {
        const char* button;
        bool slotFilled;
        Bytes frame;
        QString log;
        QString version;
    };
    const Case cases[] = {
        {"IDC_GET_VERSION", true, GET_FRAME, "", "102.003"},
        {"IDC_READ", true, READ_FRAME, HexDump(SimulatedModule::CodeReply(code)), ""},
        {"IDC_READ", false, READ_FRAME, "Key empty!", ""},
        {"IDC_SEND", true, SEND_FRAME, "Send Ok!", ""},
    };
    for (const Case& c : cases) {
        module.ClearSlots();
        if (c.slotFilled) {
            ASSERT_TRUE(module.SetSlot(0x0069, code));
        }
        module.ClearReceivedFrames();
        Edit("IDC_VERSION")->clear();
        QTest::mouseClick(Button(c.button), Qt::LeftButton);
        EXPECT_EQ(module.ReceivedFrames(), std::vector<Bytes>{c.frame}) << c.button;
        EXPECT_EQ(LogText(), c.log) << c.button;
        EXPECT_EQ(Edit("IDC_VERSION")->text(), c.version) << c.button;
        EXPECT_TRUE(Button(c.button)->isEnabled()) << c.button;
    }
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SimulatorWindow, LearnShowsTheModulesStatus) {
    struct Case {
        int status;
        std::vector<uint32_t> pieces;
        QString log;
    };
    const Case cases[] = {
        {1, {}, "Learn fail!"},
        {0, {3, 5}, "Learn Ok!"},
        {4, {}, "Save fail!"},
    };
    for (const Case& c : cases) {
        Faults([&](SimFaults& f) {
            f.learnStatus = c.status;
            f.replyPieces = c.pieces;
            f.pieceGapMs = 200;
        });
        module.ClearReceivedFrames();
        QTest::mouseClick(Button("IDC_LEARN"), Qt::LeftButton);
        EXPECT_FALSE(Button("IDC_LEARN")->isEnabled());
        EXPECT_TRUE(WaitFor([&] { return !dlg->IsLearnPending(); }, 10000)) << c.status;
        EXPECT_EQ(LogText(), c.log) << c.status;
        EXPECT_TRUE(Button("IDC_LEARN")->isEnabled());
        EXPECT_TRUE(Button("IDC_EXPORT")->isEnabled());
        EXPECT_EQ(module.ReceivedFrames(), std::vector<Bytes>{LEARN_FRAME});
    }
}

TEST_F(SimulatorWindow, LearnAnsweredInPiecesThatNeverAddUpTimesOut) {
    // 3 and 3 make 6, so the second starts over; 3 and 2 make 5, so the last
    // starts over too: the answer never completes.
    Faults([](SimFaults& f) {
        f.replyPieces = {3, 3, 2};
        f.pieceGapMs = 200;
    });
    const auto start = std::chrono::steady_clock::now();
    QTest::mouseClick(Button("IDC_LEARN"), Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return !dlg->IsLearnPending(); }, 15000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_EQ(LogText(), "Learn timeout!");
    EXPECT_TRUE(Button("IDC_LEARN")->isEnabled());
    EXPECT_EQ(dlg->LearnHeld(), 2);
    const Bytes answer = SimulatedModule::StatusReply(0);
    EXPECT_EQ(dlg->LearnReply()[0], answer[6]);
    EXPECT_EQ(dlg->LearnReply()[1], answer[7]);
    EXPECT_EQ(module.ReceivedFrames(), std::vector<Bytes>{LEARN_FRAME});
}

} // namespace
