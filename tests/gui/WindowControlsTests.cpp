// The main window's own controls: typed and pasted text in its fields, the
// port list from the device map, Enter and Esc, opening and closing a port,
// what a screen reader announces, the minimised icon and the About box.

#include "MainWindowFixture.h"
#include "PublishedPty.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMenu>
#include <QStyle>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

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

} // namespace
