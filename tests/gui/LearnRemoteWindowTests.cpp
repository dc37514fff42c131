// "Learn a remote..." through the real dialogs against the simulated module:
// the statuses in the list, the session file, the learn frames on the line,
// and the main window's commands while a walk uses the line.

#include "BulkTiming.h"
#include "CommandFrame.h"
#include "ExpectedBytes.h"
#include "LearnRemoteDlg.h"
#include "ModuleOperations.h"
#include "ModuleWindow.h"
#include "TestFiles.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <vector>

namespace {

using Rows = std::vector<std::vector<QString>>;

// Bulk pauses, and polls that give up 82 ms into a silent line: a learn
// answered is taken at once, one never answered waits about five seconds.
ExchangeTiming LearnTiming() {
    ExchangeTiming timing = BulkTiming();
    timing.lineTimeouts.ReadTotalTimeoutConstant = 50;
    timing.learnPolls = 60;
    return timing;
}

// Longer than any test waits: a learn started under it is never answered.
constexpr uint32_t HANGING_LEARN_MS = 600000;

const QString VOL_PROMPT = QStringLiteral("Press VOL+ (1/2) on the remote");

const char* const LINE_COMMANDS[] = {"IDC_OPEN",  "IDC_GET_VERSION", "IDC_READ",  "IDC_SEND",
                                     "IDC_LEARN", "IDC_EXPORT",      "IDC_IMPORT"};

class LearnRemoteWindow : public ModuleWindow {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ModuleWindow::SetUp());
        LearnsAfter(50);
        ASSERT_NO_FATAL_FAILURE(MakeDialog(LearnTiming(), false));
        mapPath = Path("tv.map");
        WriteFileBytes(mapPath, "# living-room TV\n1/1 POWER\n1/2 VOL+\n2/5 MUTE\n");
    }
    void TearDown() override {
        module.SetFrameObserver(nullptr);
        ModuleWindow::TearDown();
    }

    void OpenPort() {
        QTest::mouseClick(Button("IDC_OPEN"), Qt::LeftButton);
        ASSERT_TRUE(dlg->IsPortOpen());
    }
    // A walk through the map that learned POWER and waits for VOL+, whose
    // learn and the learns after it are never answered.
    void StartWalkUntilVolumeWaits() {
        OpenPort();
        LearnsHangAfterReadOf(1);
        ASSERT_NE(OpenLearnDialog(mapPath), nullptr);
        Click("IDC_START");
        ASSERT_TRUE(WaitPrompt(VOL_PROMPT));
    }
    // The learn dialog from the window menu, the file dialog answering path.
    CLearnRemoteDlg* OpenLearnDialog(const std::string& path) {
        prompts.fileName = QString::fromStdString(path);
        auto* item = dlg->findChild<QMenu*>("SystemMenu")->findChild<QAction*>("IDM_LEARN_REMOTE");
        EXPECT_EQ(item->text(), QStringLiteral("Learn a remote\u2026"));
        item->trigger();
        learn = dlg->LearnRemoteDialog();
        return learn;
    }

    void LearnsAfter(uint32_t ms) {
        SimFaults faults;
        faults.learnDelayMs = ms;
        module.SetFaults(faults);
    }
    // Once the code of slot is read back, the learns that follow are never answered.
    void LearnsHangAfterReadOf(uint16_t slot) {
        module.SetFrameObserver([this, slot](const std::vector<uint8_t>& frame, bool) {
            if (frame == ExpectedReadFrame(slot)) {
                SimFaults faults = module.Faults();
                faults.learnDelayMs = HANGING_LEARN_MS;
                module.SetFaults(faults);
            }
        });
    }
    size_t LearnFrames(uint16_t slot) {
        const auto frames = module.ReceivedFrames();
        return static_cast<size_t>(
            std::count(frames.begin(), frames.end(), ExpectedLearnFrame(slot)));
    }
    // The session file that holds what the module learned into these slots.
    std::string SessionOf(std::initializer_list<uint16_t> filled) {
        std::string text;
        for (uint16_t slot : filled) {
            EXPECT_FALSE(module.Slot(slot).empty()) << slot;
            text += ExpectedLine(slot, module.Slot(slot));
        }
        return text;
    }
    std::string Session() { return ReadFileBytes(mapPath + ".session"); }

    template <class T> T* Find(const char* name) {
        return learn->findChild<T*>(QString::fromLatin1(name));
    }
    void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
    Rows KeyRows() {
        Rows rows;
        auto* keys = Find<QTreeWidget>("IDC_KEYS");
        for (int i = 0; i < keys->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = keys->topLevelItem(i);
            rows.push_back({item->text(0), item->text(1), item->text(3)});
        }
        return rows;
    }
    std::vector<QString> Statuses() {
        std::vector<QString> statuses;
        for (const auto& row : KeyRows()) {
            statuses.push_back(row[2]);
        }
        return statuses;
    }
    // The button of a row, "IDC_TRY_KEY" or "IDC_LEARN_AGAIN".
    QPushButton* RowButton(int row, const char* name) {
        auto* keys = Find<QTreeWidget>("IDC_KEYS");
        return keys->itemWidget(keys->topLevelItem(row), 4)->findChild<QPushButton*>(name);
    }
    QString Prompt() { return Find<QLabel>("IDC_KEY_PROMPT")->text(); }
    QString StatusLine() { return Find<QLabel>("IDC_LEARN_STATUS")->text(); }
    bool WaitPrompt(const QString& text) {
        return WaitFor([&] { return Prompt() == text; }, 10000);
    }
    bool WaitEnd() {
        return WaitFor([&] { return !learn->IsRunning(); }, 20000);
    }
    // Whether every command of the main window that uses the line is enabled.
    void ExpectLineCommands(bool enabled) {
        for (const char* name : LINE_COMMANDS) {
            EXPECT_EQ(Button(name)->isEnabled(), enabled) << name;
        }
    }

    std::string mapPath;
    CLearnRemoteDlg* learn = nullptr;
};

TEST_F(LearnRemoteWindow, EveryKeyIsLearnedIntoItsSlotAndKeptInTheSession) {
    OpenPort();
    ASSERT_NE(OpenLearnDialog(mapPath), nullptr);
    ASSERT_EQ(prompts.fileDialogs.size(), 1u);
    EXPECT_FALSE(prompts.fileDialogs[0].save);
    EXPECT_EQ(KeyRows(), (Rows{{"POWER", "1/1", "waiting"},
                               {"VOL+", "1/2", "waiting"},
                               {"MUTE", "2/5", "waiting"}}));

    Click("IDC_START");
    EXPECT_TRUE(learn->IsRunning());
    ExpectLineCommands(false);
    EXPECT_FALSE(Find<QPushButton>("IDC_START")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("IDC_CHOOSE_MAP")->isEnabled());
    ASSERT_TRUE(WaitEnd());

    EXPECT_EQ(Statuses(), (std::vector<QString>{"learned", "learned", "learned"}));
    EXPECT_EQ(StatusLine(), "3 of 3 keys learned");
    EXPECT_EQ(Session(), SessionOf({1, 2, 105}));
    for (uint16_t slot : {1, 2, 105}) {
        EXPECT_EQ(LearnFrames(slot), 1u) << slot;
    }
    EXPECT_EQ(Prompt(), "");
    EXPECT_EQ(Find<QProgressBar>("IDC_TIME_LEFT")->value(), 0);
    ExpectLineCommands(true);
    EXPECT_TRUE(Find<QPushButton>("IDC_START")->isEnabled());

    // Another map, each key confirmed. The simulated module learns a new
    // code every time: the third press finds no two alike, and the slot
    // and the map's own session keep the last.
    const std::string inputs = Path("inputs.map");
    WriteFileBytes(inputs, "1/7 INPUT\n");
    prompts.fileName = QString::fromStdString(inputs);
    Click("IDC_CHOOSE_MAP");
    Find<QCheckBox>("IDC_CONFIRM_TWICE")->setChecked(true);
    Click("IDC_START");
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(LearnFrames(7), 3u);
    EXPECT_EQ(Statuses(), std::vector<QString>{"unstable"});
    EXPECT_EQ(StatusLine(), "1 of 1 key learned");
    EXPECT_EQ(ReadFileBytes(inputs + ".session"), SessionOf({7}));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(LearnRemoteWindow, SkipAndStopLeaveKeysOutAndTheNextRunResumesAfterTheLearnedOnes) {
    ASSERT_NO_FATAL_FAILURE(StartWalkUntilVolumeWaits());
    EXPECT_EQ(Statuses(), (std::vector<QString>{"learned", "now", "waiting"}));

    // The time left counts down from the learn's whole wait.
    auto* timeLeft = Find<QProgressBar>("IDC_TIME_LEFT");
    EXPECT_EQ(timeLeft->maximum(), static_cast<int>(LearnWaitMs(LearnTiming())));
    const int shown = timeLeft->value();
    EXPECT_GT(shown, timeLeft->maximum() / 2);
    EXPECT_TRUE(WaitFor([&] { return timeLeft->value() < shown; }, 3000));

    Click("IDC_SKIP");
    ASSERT_TRUE(WaitPrompt(QStringLiteral("Press MUTE (2/5) on the remote")));
    EXPECT_EQ(Statuses(), (std::vector<QString>{"learned", "skipped", "now"}));
    Click("IDC_STOP");
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(Statuses(), (std::vector<QString>{"learned", "skipped", "waiting"}));
    EXPECT_EQ(StatusLine(), "1 of 3 keys learned, 1 skipped, stopped");
    EXPECT_EQ(Session(), SessionOf({1}));
    EXPECT_EQ(LearnFrames(2), 1u);
    EXPECT_EQ(timeLeft->value(), 0);
    ExpectLineCommands(true);

    // Learns still hang: the next run shows where it resumes while VOL+ waits.
    module.SetFrameObserver(nullptr);
    module.ClearReceivedFrames();
    Click("IDC_START");
    ASSERT_TRUE(WaitPrompt(VOL_PROMPT));
    EXPECT_EQ(StatusLine(), "resuming: 1 of 3 keys in the session, 1 of them on the module");
    EXPECT_EQ(Statuses(), (std::vector<QString>{"on the module", "now", "waiting"}));
    // The prompt shows once the learn frame is written; the module takes the
    // frame, and the hanging delay with it, only when the line falls silent.
    ASSERT_TRUE(WaitFor([&] { return LearnFrames(2) == 1; }, 10000));
    LearnsAfter(50);
    Click("IDC_REDO");
    ASSERT_TRUE(WaitEnd());

    EXPECT_EQ(Statuses(), (std::vector<QString>{"on the module", "learned", "learned"}));
    EXPECT_EQ(StatusLine(), "3 of 3 keys learned");
    EXPECT_EQ(Session(), SessionOf({1, 2, 105}));
    EXPECT_EQ(LearnFrames(1), 0u);
    EXPECT_EQ(LearnFrames(2), 2u); // the learn that hung, and the one Redo started
    EXPECT_EQ(LearnFrames(105), 1u);
}

TEST_F(LearnRemoteWindow, AResumeOnABlankModuleLearnsAgainAndEachRowCanBeTriedOrLearnedAgain) {
    // The session of another module; this one holds POWER alone.
    WriteFileBytes(mapPath + ".session", ExpectedLine(1, CodePattern(5, 1)) +
                                             ExpectedLine(2, CodePattern(6, 2)) +
                                             ExpectedLine(105, CodePattern(7, 3)));
    module.SetSlot(1, CodePattern(5, 1));
    OpenPort();
    ASSERT_NE(OpenLearnDialog(mapPath), nullptr);
    EXPECT_EQ(Find<QLabel>("IDC_LEARN_PORT")->text(), "Port: COM9");
    auto* keys = Find<QTreeWidget>("IDC_KEYS");
    EXPECT_EQ(keys->topLevelItem(2)->text(2), "7"); // the session's length
    const int width = learn->width();

    Click("IDC_START");
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(Statuses(), (std::vector<QString>{"on the module", "learned", "learned"}));
    EXPECT_EQ(LearnFrames(1), 0u);
    EXPECT_EQ(LearnFrames(2), 1u);
    EXPECT_EQ(LearnFrames(105), 1u);
    EXPECT_EQ(Session(), SessionOf({1, 2, 105}));
    EXPECT_EQ(keys->topLevelItem(2)->text(2), QString::number(module.Slot(105).size()));
    EXPECT_EQ(learn->width(), width);
    EXPECT_FALSE(keys->horizontalScrollBar()->isVisible());

    // Try sends the row's slot; Learn again learns that key alone.
    module.ClearReceivedFrames();
    QTest::mouseClick(RowButton(0, "IDC_TRY_KEY"), Qt::LeftButton);
    EXPECT_EQ(StatusLine(), "POWER: Send Ok!");
    const CommandFrame send = BuildSendFrame(1, ChannelMask(1));
    EXPECT_EQ(module.ReceivedFrames(),
              std::vector<Bytes>{Bytes(send.data(), send.data() + send.size)});
    QTest::mouseClick(RowButton(1, "IDC_LEARN_AGAIN"), Qt::LeftButton);
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(LearnFrames(1) + LearnFrames(105), 0u);
    EXPECT_EQ(LearnFrames(2), 1u);
    EXPECT_EQ(Statuses(), (std::vector<QString>{"on the module", "learned", "on the module"}));
    EXPECT_EQ(Session(), SessionOf({1, 2, 105}));
    EXPECT_EQ(learn->width(), width);
}

TEST_F(LearnRemoteWindow, NothingStartsFromABadMapOrWithThePortClosed) {
    const std::string bad = Path("bad.map");
    WriteFileBytes(bad, "1/1 POWER\n1/2\n1/3 POWER\n1/4 \x1b[2J\n");
    ASSERT_NE(OpenLearnDialog(bad), nullptr);
    ASSERT_EQ(prompts.messages.size(), 1u);
    const QString box = prompts.messages[0];
    EXPECT_TRUE(box.startsWith("The map bad.map cannot be used:\nline 2: ")) << box.toStdString();
    EXPECT_TRUE(box.contains("\nline 3: ")) << box.toStdString();
    // The map's own text is shown escaped, never raw.
    EXPECT_TRUE(box.contains("\nline 4: the name \"\\x1b[2J\"")) << box.toStdString();
    EXPECT_FALSE(box.contains(QChar(0x1b))) << box.toStdString();
    EXPECT_TRUE(KeyRows().empty());
    EXPECT_FALSE(Find<QPushButton>("IDC_START")->isEnabled());

    // A good map, but the port is closed.
    prompts.fileName = QString::fromStdString(mapPath);
    Click("IDC_CHOOSE_MAP");
    EXPECT_EQ(KeyRows().size(), 3u);
    Click("IDC_START");
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1], "Port Close");
    EXPECT_FALSE(learn->IsRunning());
    EXPECT_TRUE(module.ReceivedFrames().empty());
    EXPECT_FALSE(std::filesystem::exists(mapPath + ".session"));
}

TEST_F(LearnRemoteWindow, ClosingEitherWindowStopsTheWalkAndKeepsTheSession) {
    ASSERT_NO_FATAL_FAILURE(StartWalkUntilVolumeWaits());
    QPointer<CLearnRemoteDlg> closed = learn;
    Click("IDCANCEL");
    // Stopped and joined before the click returns; the dialog goes soon after.
    EXPECT_TRUE(closed.isNull() || (!closed->IsRunning() && !closed->isVisible()));
    EXPECT_EQ(dlg->LearnRemoteDialog(), nullptr);
    ExpectLineCommands(true);
    EXPECT_EQ(Session(), SessionOf({1}));

    // Learns still hang: POWER comes from the session and VOL+ waits.
    ASSERT_NE(OpenLearnDialog(mapPath), nullptr);
    ASSERT_NE(learn, closed.data());
    Click("IDC_START");
    ASSERT_TRUE(WaitPrompt(VOL_PROMPT));
    QPointer<CLearnRemoteDlg> open = learn;
    dlg->close();
    EXPECT_TRUE(open.isNull() || !open->IsRunning());
    EXPECT_EQ(Session(), SessionOf({1}));
}

} // namespace
