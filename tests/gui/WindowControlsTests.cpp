// The real main dialog on the offscreen platform, driven by typed keys and
// clicks, with a recording prompts object and a fake device map.

#include "ExpectedBytes.h"
#include "LumaretDlg.h"
#include "PortDirectory.h"
#include "PublishedPty.h"
#include "WindowTestSupport.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace {

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

struct TypingCase {
    const char* field;
    bool selectAllFirst;
    QList<QPair<Qt::Key, Qt::KeyboardModifiers>> keys;
    const char* expected;
};

TEST_F(MainWindow, TypedCharactersAreFilteredPerField) {
    Make({});
    const auto K = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        return qMakePair(k, m);
    };
    const TypingCase cases[] = {
        {"IDC_CHANNEL",
         true,
         {K(Qt::Key_5), K(Qt::Key_0), K(Qt::Key_A), K(Qt::Key_Space), K(Qt::Key_Minus)},
         "1"},
        {"IDC_CHANNEL", true, {K(Qt::Key_3)}, "3"},
        {"IDC_CHANNEL", false, {K(Qt::Key_End), K(Qt::Key_2)}, "1"}, // limit of 1
        {"IDC_CHANNEL", false, {K(Qt::Key_End), K(Qt::Key_Backspace)}, "1"},
        {"IDC_CHANNEL", false, {K(Qt::Key_Home), K(Qt::Key_Delete)}, ""},
        {"IDC_KEY_NO", true, {K(Qt::Key_9), K(Qt::Key_9), K(Qt::Key_9), K(Qt::Key_9)}, "999"},
        {"IDC_KEY_NO", true, {K(Qt::Key_0), K(Qt::Key_Period), K(Qt::Key_Plus), K(Qt::Key_B)}, "0"},
        {"IDC_KEY_NO", false, {K(Qt::Key_End), K(Qt::Key_Backspace)}, "1"},
        {"IDC_KEY_NO",
         false,
         {K(Qt::Key_A, Qt::ControlModifier), K(Qt::Key_X, Qt::ControlModifier)},
         "1"},
        {"IDC_KEY_NO",
         false,
         {K(Qt::Key_End), K(Qt::Key_Left), K(Qt::Key_Shift, Qt::NoModifier), K(Qt::Key_7)},
         "71"},
    };
    for (const TypingCase& c : cases) {
        auto* edit = Find<QLineEdit>(c.field);
        ASSERT_NE(edit, nullptr);
        edit->setText(QStringLiteral("1"));
        edit->setFocus();
        if (c.selectAllFirst) {
            edit->selectAll();
        } else {
            edit->deselect();
        }
        for (const auto& [key, mods] : c.keys) {
            QTest::keyClick(edit, key, mods);
        }
        EXPECT_EQ(edit->text().toStdString(), c.expected) << c.field << " case " << (&c - cases);
    }
}

TEST_F(MainWindow, PasteAndProgramTextAreNotFiltered) {
    Make({});
    auto* key = Find<QLineEdit>("IDC_KEY_NO");
    EXPECT_EQ(key->text(), "1");
    EXPECT_EQ(Find<QLineEdit>("IDC_CHANNEL")->text(), "1");
    EXPECT_EQ(key->maxLength(), 3);
    EXPECT_EQ(Find<QLineEdit>("IDC_CHANNEL")->maxLength(), 1);
    QApplication::clipboard()->setText(QStringLiteral("-5"));
    key->selectAll();
    key->paste();
    EXPECT_EQ(key->text(), "-5");
}

TEST_F(MainWindow, PortListFollowsTheRegistryRules) {
    struct Case {
        std::vector<DeviceMapEntry> ports;
        long open, info;
        int failEnum;
        QStringList listed;
        std::vector<QString> messages;
    };
    const Case cases[] = {
        {{{"/dev/ttyS1", "COM2"}, {"/dev/ttyUSB9", "COM10"}}, 0, 0, -1, {"COM10", "COM2"}, {}},
        {{}, 0, 0, -1, {}, {}},
        {{{"/dev/ttyS1", "COM2"}}, 2, 0, -1, {}, {"Open Registry Error!\n"}},
        {{{"/dev/ttyS1", "COM2"}}, 0, 5, -1, {}, {"Getting  Info  Error!\n"}},
        {{{"/dev/x", "COM100"}, {"/dev/y", "COM3"}},
         0,
         0,
         -1,
         {"COM3"},
         {"Can not get the name of the port"}},
        {{{"/dev/x", "COM4"}, {"/dev/y", "COM3"}},
         0,
         0,
         0,
         {"COM3"},
         {"Enum  Registry  Error or No More Items!\n"}},
    };
    for (const Case& c : cases) {
        prompts.messages.clear();
        registry = std::make_unique<CFakeRegistry>(c.ports);
        registry->openStatus = c.open;
        registry->infoStatus = c.info;
        registry->failEnumAt = c.failEnum;
        MakeWith();
        QStringList listed;
        for (int i = 0; i < Combo()->count(); ++i) {
            listed << Combo()->itemText(i);
        }
        EXPECT_EQ(listed, c.listed) << (&c - cases);
        EXPECT_EQ(Combo()->currentIndex(), c.listed.isEmpty() ? -1 : 0);
        EXPECT_EQ(prompts.messages, c.messages) << (&c - cases);
    }
    EXPECT_EQ(Combo()->itemData(0, Qt::ToolTipRole).toString(), "/dev/y");
}

TEST_F(MainWindow, EnterInAFieldAcceptsAndEscRejects) {
    for (const char* field : {"IDC_CHANNEL", "IDC_KEY_NO", "IDC_LOG"}) {
        Make({});
        QWidget* w = Find<QWidget>(field);
        w->setFocus();
        QTest::keyClick(w, Qt::Key_Return);
        EXPECT_EQ(dlg->result(), QDialog::Accepted) << field;
        EXPECT_FALSE(dlg->isVisible());
    }
    Make({});
    QTest::keyClick(Find<QWidget>("IDC_KEY_NO"), Qt::Key_Escape);
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(MainWindow, EnterOnAFocusedButtonClicksIt) {
    Make({});
    Button("IDC_OPEN")->setFocus();
    QTest::keyClick(Button("IDC_OPEN"), Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(prompts.messages, std::vector<QString>{"Open Fail"});
}

TEST_F(MainWindow, OpenAndCloseAPublishedPort) {
    PublishedPty pty;
    ASSERT_TRUE(pty.Open("COM5"));
    Make({{"/dev/missing", "COM6"}, {pty.LinkPath(), "COM5"}});
    QPushButton* open = Button("IDC_OPEN");
    QTest::mouseClick(open, Qt::LeftButton);
    EXPECT_TRUE(dlg->IsPortOpen());
    EXPECT_EQ(open->text(), "Close");
    QTest::mouseClick(open, Qt::LeftButton);
    EXPECT_FALSE(dlg->IsPortOpen());
    EXPECT_EQ(open->text(), "Open");
    Combo()->setCurrentIndex(1); // COM6: nothing behind it
    QTest::mouseClick(open, Qt::LeftButton);
    EXPECT_FALSE(dlg->IsPortOpen());
    EXPECT_EQ(open->text(), "Open");
    EXPECT_EQ(prompts.messages, std::vector<QString>{"Open Fail"});
    Combo()->setCurrentIndex(0);
    QTest::mouseClick(open, Qt::LeftButton);
    EXPECT_TRUE(dlg->IsPortOpen());
}

TEST_F(MainWindow, CommandsRefuseWhilePortClosed) {
    Make({});
    auto* log = dlg->findChild<QPlainTextEdit*>("IDC_LOG");
    log->setPlainText(QStringLiteral("kept"));
    for (const char* name : {"IDC_GET_VERSION", "IDC_READ", "IDC_SEND", "IDC_LEARN"}) {
        prompts.messages.clear();
        QTest::mouseClick(Button(name), Qt::LeftButton);
        EXPECT_EQ(prompts.messages, std::vector<QString>{"Port Close"}) << name;
        EXPECT_TRUE(Button(name)->isEnabled()) << name;
    }
    EXPECT_EQ(LogText(), "kept");
}

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
    PublishedPty pty;
};

std::vector<uint8_t> Status(uint8_t status) {
    return ExpectedStatusReply(status);
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

TEST_F(KeyCommands, ReadShowsTheReplyByItsCount) {
    std::vector<uint8_t> twenty(20);
    for (int i = 0; i < 20; ++i) {
        twenty[i] = static_cast<uint8_t>(0xF0 + i * 7);
    }
    QString twentyText;
    for (uint8_t b : twenty) {
        twentyText += QString::asprintf("%02X ", b);
    }
    struct Case {
        std::vector<uint8_t> reply;
        QString log;
    };
    const Case cases[] = {{Status(1), "Key empty!"},
                          {Status(0), ""},
                          {{0x3F}, "3F "},
                          {twenty, twentyText},
                          {{}, "Communication fail!"}};
    for (const Case& c : cases) {
        SetFields("2", "5");
        Responder r{pty, {c.reply}};
        r.Start();
        QTest::mouseClick(Button("IDC_READ"), Qt::LeftButton);
        r.thread.join();
        EXPECT_EQ(LogText(), c.log);
        EXPECT_TRUE(Button("IDC_READ")->isEnabled());
        const std::vector<uint8_t> worked{1, 5, 2, 6, 0, 0, 3, 4, 0x69, 0, 0x9E, 0x96};
        EXPECT_EQ(r.frame, worked);
    }
}

TEST_F(KeyCommands, SendSaysWhatTheModuleAnswered) {
    struct Case {
        std::vector<uint8_t> reply;
        QString log;
    };
    const Case cases[] = {
        {Status(0), "Send Ok!"}, {Status(2), "Key empty!"}, {{}, "Communication fail!"}};
    for (const Case& c : cases) {
        SetFields("2", "5");
        Responder r{pty, {c.reply}};
        r.Start();
        QTest::mouseClick(Button("IDC_SEND"), Qt::LeftButton);
        r.thread.join();
        EXPECT_EQ(LogText(), c.log);
        const std::vector<uint8_t> worked{1,    5, 2, 6, 0,    0, 7,    2,
                                          0x69, 0, 2, 1, 0x69, 0, 0xBD, 0x55};
        EXPECT_EQ(r.frame, worked);
    }
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
        Responder r{pty, {c.reply}};
        r.Start();
        QTest::mouseClick(Button("IDC_GET_VERSION"), Qt::LeftButton);
        r.thread.join();
        EXPECT_EQ(Find<QLineEdit>("IDC_VERSION")->text(), c.shown);
        EXPECT_EQ(prompts.messages.size(), c.fails ? 1u : 0u);
        EXPECT_EQ(r.frame, (std::vector<uint8_t>{1, 5, 2, 6, 0, 0, 1, 0xF1, 0x31, 0x9D}));
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
        EXPECT_EQ(r.frame, (std::vector<uint8_t>{1, 5, 2, 6, 0, 0, 3, 1, 0x69, 0, 0x9F, 0x86}));
    }
}

TEST_F(KeyCommands, LearnPollOfFortyBytesStaysInItsBuffer) {
    std::vector<uint8_t> forty(40, 0x77);
    Responder r{pty, {forty}};
    r.Start();
    QTest::mouseClick(Button("IDC_LEARN"), Qt::LeftButton);
    r.thread.join();
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

TEST_F(MainWindow, ControlsAreAnnouncedByTheirLabels) {
    Make({{"/dev/ttyS0", "COM1"}});
    struct Case {
        const char* control;
        const char* announced;
        const char* label; // the label that names it, if any
    };
    const Case cases[] = {
        // On Linux a list's own name is its current item; its label names it.
        {"IDC_PORT", "COM1", "Port:"},
        {"IDC_VERSION", "Version", "Version:"},
        {"IDC_CHANNEL", "Channel", "Channel:"},
        {"IDC_KEY_NO", "Key No", "Key No:"},
        {"IDC_LOG", "Log", nullptr},
        {"IDC_PROGRESS", "Progress", nullptr},
        {"IDC_OPEN", "Open", nullptr},
        {"IDC_EXPORT", "Export", nullptr},
        {"IDC_LEARN", "Learn", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        QWidget* control = Find<QWidget>(c.control);
        ASSERT_NE(control, nullptr);
        QAccessibleInterface* item = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->text(QAccessible::Name), c.announced);
        const auto labels = item->relations(QAccessible::Label);
        if (c.label == nullptr) {
            EXPECT_TRUE(labels.isEmpty());
            continue;
        }
        ASSERT_EQ(labels.size(), 1);
        EXPECT_EQ(labels.first().first->text(QAccessible::Name), c.label);
    }
}

TEST_F(MainWindow, MinimisedWindowPaintsItsIconCentred) {
    Make({});
    // The dialog's own painting, without its controls.
    const auto paintDialog = [&] {
        QImage image(dlg->size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        dlg->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        return image;
    };
    const QImage normal = paintDialog();
    const QRgb background = dlg->palette().window().color().rgba();

    dlg->setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(dlg->isMinimized());
    const QImage minimised = paintDialog();
    dlg->setWindowState(Qt::WindowNoState);

    const int icon = dlg->style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, dlg.get());
    const QRect expected((dlg->width() - icon + 1) / 2, (dlg->height() - icon + 1) / 2, icon, icon);
    QRect drawn;
    bool backgroundEverywhereElse = true;
    for (int y = 0; y < minimised.height(); ++y) {
        for (int x = 0; x < minimised.width(); ++x) {
            if (minimised.pixel(x, y) == background) {
                continue;
            }
            drawn |= QRect(x, y, 1, 1);
            backgroundEverywhereElse = backgroundEverywhereElse && expected.contains(x, y);
        }
    }
    EXPECT_TRUE(backgroundEverywhereElse);
    // Most of the icon's square is covered: the LED and its rays fill it.
    EXPECT_GT(drawn.width(), icon / 2);
    EXPECT_GT(drawn.height(), icon / 2);
    // Not minimised, no icon is drawn there.
    EXPECT_NE(normal.copy(expected), minimised.copy(expected));
    // Dragged, it shows the window's own icon.
    EXPECT_FALSE(dlg->OnQueryDragIcon().isNull());
    EXPECT_EQ(dlg->OnQueryDragIcon().cacheKey(), dlg->windowIcon().cacheKey());
}

} // namespace

namespace {

TEST_F(MainWindow, AboutOpensFromTheContextMenuAndClosesWithOk) {
    Make({});
    QMenu* menu = dlg->findChild<QMenu*>("SystemMenu");
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> actions = menu->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), "&About Lumaret...");
    QContextMenuEvent right(QContextMenuEvent::Mouse, QPoint(5, 5), dlg->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(dlg.get(), &right);
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }, 2000));
    bool sawAbout = false;
    QTimer::singleShot(0, [&] {
        WaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 2000);
        QWidget* about = QApplication::activeModalWidget();
        sawAbout = about != nullptr && about->windowTitle() == "About Lumaret";
        if (about != nullptr) {
            QTest::mouseClick(about->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
        }
    });
    actions.back()->trigger();
    EXPECT_TRUE(sawAbout);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(dlg->isVisible());
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

} // namespace

namespace {

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

} // namespace
