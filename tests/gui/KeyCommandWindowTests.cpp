// Get, Read, Send and Learn through the real dialog: the frame each puts on
// the line and what the window shows of each reply, with the test playing
// the module byte for byte, on the program's own timing with a silent
// module, and with the simulated module answering a learn in pieces.

#include "ExpectedBytes.h"
#include "MainWindowFixture.h"
#include "ModuleWindow.h"
#include "PublishedPty.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace {

// The test plays the module: it answers the next frame with the given bytes.
struct Responder {
    Responder(PublishedPty& port, std::vector<std::vector<uint8_t>> replyPieces, int gap = 0)
        : pty(port), pieces(std::move(replyPieces)), gapMs(gap) {}
    PublishedPty& pty;
    std::vector<std::vector<uint8_t>> pieces;
    int gapMs = 0;
    std::vector<uint8_t> frame;
    std::thread thread;
    void Start() {
        thread = std::thread([this] {
            frame = pty.Take(3000);
            for (const auto& piece : pieces) {
                if (!piece.empty()) {
                    (void)pty.Send(piece);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
            }
        });
    }
    ~Responder() {
        if (thread.joinable()) {
            thread.join();
        }
    }
};

class KeyCommands : public MainWindow {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Open("COM7"));
        Make({{pty.LinkPath(), "COM7"}});
        QTest::mouseClick(Button("IDC_OPEN"), Qt::LeftButton);
        ASSERT_TRUE(dlg->IsPortOpen());
    }
    void SetFields(const char* channel, const char* key) {
        Find<QLineEdit>("IDC_CHANNEL")->setText(QString::fromLatin1(channel));
        Find<QLineEdit>("IDC_KEY_NO")->setText(QString::fromLatin1(key));
    }
    // Clicks a button whose exchange ends before the click returns, the test
    // answering with reply; the frame the window sent.
    std::vector<uint8_t> Answered(const char* button, const std::vector<uint8_t>& reply) {
        Responder r{pty, {reply}};
        r.Start();
        QTest::mouseClick(Button(button), Qt::LeftButton);
        r.thread.join();
        return r.frame;
    }
    PublishedPty pty;
};

std::vector<uint8_t> Status(uint8_t status) {
    return ExpectedStatusReply(status);
}

QString HexDump(const std::vector<uint8_t>& bytes) {
    QString text;
    for (uint8_t b : bytes) {
        text += QString::asprintf("%02X ", b);
    }
    return text;
}

TEST_F(KeyCommands, KeyNumbersOutsideTheRangeSendNothing) {
    for (const char* key : {"0", "", "101", "999", "-5"}) {
        for (const char* name : {"IDC_READ", "IDC_SEND", "IDC_LEARN"}) {
            prompts.messages.clear();
            SetFields("1", key);
            QTest::mouseClick(Button(name), Qt::LeftButton);
            EXPECT_EQ(prompts.messages, std::vector<QString>{"Key No must between 1 to 100!"})
                << name << " key '" << key << "'";
            EXPECT_TRUE(Button(name)->isEnabled());
        }
    }
    EXPECT_TRUE(pty.Take(100).empty());
}

TEST_F(KeyCommands, ReadShowsTheReplyByItsCountAndSendWhatTheModuleAnswered) {
    std::vector<uint8_t> twenty(20);
    for (int i = 0; i < 20; ++i) {
        twenty[i] = static_cast<uint8_t>(0xF0 + i * 7);
    }
    struct Case {
        const char* button;
        std::vector<uint8_t> reply;
        QString log;
    };
    const Case cases[] = {{"IDC_READ", Status(1), "Key empty!"},
                          {"IDC_READ", Status(0), ""},
                          {"IDC_READ", {0x3F}, "3F "},
                          {"IDC_READ", twenty, HexDump(twenty)},
                          {"IDC_READ", {}, "Communication fail!"},
                          {"IDC_SEND", Status(0), "Send Ok!"},
                          {"IDC_SEND", Status(2), "Key empty!"},
                          {"IDC_SEND", {}, "Communication fail!"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button + (" " + c.log.toStdString()));
        SetFields("2", "5");
        const bool read = c.button == std::string("IDC_READ");
        EXPECT_EQ(Answered(c.button, c.reply), read ? WORKED_READ_FRAME : WORKED_SEND_FRAME);
        EXPECT_EQ(LogText(), c.log);
        EXPECT_TRUE(Button(c.button)->isEnabled());
    }
    // Each shows its outcome in the log alone.
    EXPECT_EQ(Find<QLineEdit>("IDC_VERSION")->text(), "");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(KeyCommands, GetShowsTheVersionOrFails) {
    std::vector<uint8_t> version(19, 0x20);
    const char digits[] = "102003";
    for (int i = 0; i < 6; ++i) {
        version[7 + i] = static_cast<uint8_t>(digits[i]);
    }
    std::vector<uint8_t> cut = version;
    cut[8] = 0;
    struct Case {
        std::vector<uint8_t> reply;
        QString shown;
        bool fails;
    };
    const Case cases[] = {{version, "102.003", false}, {cut, "1", false}, {Status(0), "", true}};
    for (const Case& c : cases) {
        prompts.messages.clear();
        EXPECT_EQ(Answered("IDC_GET_VERSION", c.reply), WORKED_GET_FRAME);
        EXPECT_EQ(Find<QLineEdit>("IDC_VERSION")->text(), c.shown);
        EXPECT_EQ(prompts.messages.size(), c.fails ? 1u : 0u);
    }
}

TEST_F(KeyCommands, LearnGathersTheAnswerFromItsPieces) {
    struct Case {
        std::vector<std::vector<uint8_t>> pieces;
        QString log;
    };
    const std::vector<uint8_t> s2 = Status(2);
    const Case cases[] = {
        {{Status(0)}, "Learn Ok!"},
        {{{s2.begin(), s2.begin() + 3}, {s2.begin() + 3, s2.end()}}, "Carry wrong!"},
        {{{9, 9, 9}, {1, 2, 3, 4}, {5, 4, 7, 8}}, "Save fail!"},
        {{Status(4)}, "Save fail!"},
        {{Status(1)}, "Learn fail!"},
        {{Status(3)}, "Learn fail!"},
    };
    for (const Case& c : cases) {
        SetFields("2", "5");
        Responder r{pty, c.pieces, 300};
        r.Start();
        QTest::mouseClick(Button("IDC_LEARN"), Qt::LeftButton);
        EXPECT_FALSE(Button("IDC_LEARN")->isEnabled());
        EXPECT_TRUE(WaitFor([&] { return !dlg->IsLearnPending(); }, 15000));
        r.thread.join();
        EXPECT_EQ(LogText(), c.log);
        EXPECT_TRUE(Button("IDC_LEARN")->isEnabled());
        EXPECT_TRUE(Button("IDC_EXPORT")->isEnabled());
        EXPECT_EQ(r.frame, WORKED_LEARN_FRAME);
    }
}

TEST_F(KeyCommands, LearnPollOfFortyBytesStaysInItsBuffer) {
    (void)Answered("IDC_LEARN", std::vector<uint8_t>(40, 0x77));
    // 32 bytes in the first poll, the other 8 in the next: never an answer.
    EXPECT_TRUE(WaitFor([&] { return dlg->LearnHeld() == 8; }, 3000));
    // Close the port so the remaining empty polls come quickly.
    QTest::mouseClick(Button("IDC_OPEN"), Qt::LeftButton);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitFor([&] { return !dlg->IsLearnPending(); }, 15000));
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(3) + std::chrono::seconds(5));
    EXPECT_EQ(LogText(), "Learn timeout!");
    EXPECT_EQ(dlg->Importing(), 0);
    EXPECT_EQ(dlg->Exporting(), 0);
    EXPECT_EQ(dlg->LearnHeld(), 8);
    EXPECT_EQ(dlg->LearnReply()[7], 0x77);
}

TEST_F(KeyCommands, ReadKeepsTheKeyboardFocusForTheNextSpace) {
    QPushButton* read = Button("IDC_READ");
    read->setFocus();
    for (int round = 0; round < 2; ++round) {
        Responder r{pty, {Status(1)}};
        r.Start();
        QTest::keyClick(read, Qt::Key_Space);
        r.thread.join();
        EXPECT_EQ(LogText(), "Key empty!");
        EXPECT_TRUE(read->hasFocus()) << round;
        Find<QPlainTextEdit>("IDC_LOG")->clear();
    }
}

TEST_F(KeyCommands, ClosingThePortEndsAPendingLearnWithinThreeSeconds) {
    QTest::mouseClick(Button("IDC_LEARN"), Qt::LeftButton);
    EXPECT_TRUE(dlg->IsLearnPending());
    EXPECT_FALSE(Button("IDC_EXPORT")->isEnabled());
    QTest::mouseClick(Button("IDC_OPEN"), Qt::LeftButton);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitFor([&] { return !dlg->IsLearnPending(); }, 10000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(LogText(), "Learn timeout!");
    EXPECT_TRUE(Button("IDC_LEARN")->isEnabled());
    EXPECT_TRUE(Button("IDC_EXPORT")->isEnabled());
}

// Each command once on the program's own timing, the module silent.
class FixedTimingCommands : public KeyCommands {
protected:
    void SetUp() override {
        timing = FixedTiming();
        KeyCommands::SetUp();
    }
    double Seconds(const std::function<void()>& run) {
        const auto start = std::chrono::steady_clock::now();
        run();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

TEST_F(FixedTimingCommands, SilentModuleTakesThePausesAndReadEndings) {
    struct Case {
        const char* button;
        double least; // pause + 100 ms + 10 ms per requested byte
        QString log;
    };
    const Case cases[] = {{"IDC_GET_VERSION", 0.52, ""},
                          {"IDC_SEND", 0.72, "Communication fail!"},
                          {"IDC_READ", 5.62, "Communication fail!"}};
    prompts.messages.clear();
    for (const Case& c : cases) {
        const double took = Seconds([&] { QTest::mouseClick(Button(c.button), Qt::LeftButton); });
        EXPECT_GE(took, c.least - 0.01) << c.button;
        EXPECT_LT(took, c.least + 2.0) << c.button;
        if (!c.log.isEmpty()) {
            EXPECT_EQ(LogText(), c.log);
        }
    }
    EXPECT_EQ(prompts.messages, std::vector<QString>{"Get Fail"});
    const double learn = Seconds([&] {
        QTest::mouseClick(Button("IDC_LEARN"), Qt::LeftButton);
        EXPECT_TRUE(WaitFor([&] { return !dlg->IsLearnPending(); }, 25000));
    });
    EXPECT_GE(learn, 30 * 0.42 - 0.05);
    EXPECT_LT(learn, 20.0);
    EXPECT_EQ(LogText(), "Learn timeout!");
    EXPECT_TRUE(Button("IDC_LEARN")->isEnabled());
}

// The simulated module on the line, its answers split into pieces with gaps.
class SimulatorWindow : public ModuleWindow {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ModuleWindow::SetUp());
        ExchangeTiming timing = ScaledTiming(0.25);
        // Few empty polls, so a learn that never completes ends in about two seconds.
        timing.learnPolls = 5;
        ASSERT_NO_FATAL_FAILURE(MakeDialog(timing));
        dlg->findChild<QLineEdit*>(QStringLiteral("IDC_CHANNEL"))->setText(QStringLiteral("2"));
        dlg->findChild<QLineEdit*>(QStringLiteral("IDC_KEY_NO"))->setText(QStringLiteral("5"));
    }
};

TEST_F(SimulatorWindow, LearnAnsweredInPiecesThatNeverAddUpTimesOut) {
    // 3 and 3 make 6, so the second starts over; 3 and 2 make 5, so the last
    // starts over too: the answer never completes.
    SimFaults pieces;
    pieces.learnDelayMs = 300;
    pieces.replyPieces = {3, 3, 2};
    pieces.pieceGapMs = 200;
    module.SetFaults(pieces);
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
    EXPECT_EQ(module.ReceivedFrames(), std::vector<Bytes>{WORKED_LEARN_FRAME});
}

} // namespace
