// "Module map..." against the simulated module: the grid filled from the
// module and from a file, compared, named, its tooltip and keys, Stop, and
// the picture it saves.

#include "BulkTiming.h"
#include "ExpectedBytes.h"
#include "ModuleMapDlg.h"
#include "ModuleWindow.h"
#include "SlotGrid.h"
#include "TestFiles.h"

#include <QAction>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QToolTip>

#include <gtest/gtest.h>

namespace {

class ModuleMapWindow : public ModuleWindow {
protected:
    // The map dialog from the window menu; it starts reading the open port.
    CModuleMapDlg* OpenMap() {
        auto* item = dlg->findChild<QMenu*>("SystemMenu")->findChild<QAction*>("IDM_MODULE_MAP");
        EXPECT_EQ(item->text(), QStringLiteral("Module map\u2026"));
        item->trigger();
        return dlg->ModuleMapDialog();
    }
    void Click(CModuleMapDlg* map, const char* name, const std::string& answer) {
        prompts.fileName = QString::fromStdString(answer);
        QTest::mouseClick(map->findChild<QPushButton*>(name), Qt::LeftButton);
    }
    QString Label(CModuleMapDlg* map, const char* name) {
        return map->findChild<QLabel*>(name)->text();
    }
};

TEST_F(ModuleMapWindow, FilledFromTheModuleComparedNamedAndSaved) {
    ASSERT_TRUE(module.SetSlot(1, {0x11}));
    ASSERT_TRUE(module.SetSlot(2, {0x22}));
    ASSERT_TRUE(module.SetSlot(448, CodePattern(300, 1)));
    ASSERT_NO_FATAL_FAILURE(MakeDialog(BulkTiming()));
    CModuleMapDlg* map = OpenMap();
    ASSERT_NE(map, nullptr);
    EXPECT_TRUE(map->isModal());
    ASSERT_TRUE(WaitFor([&] { return !map->IsRunning(); }, 60000));
    EXPECT_EQ(map->findChild<QProgressBar*>("IDC_MAP_PROGRESS")->value(), 448);
    const CSlotGrid& grid = map->Grid();
    EXPECT_EQ(grid.Map().Cell(448).state, SlotState::Code);
    EXPECT_TRUE(Label(map, "IDC_MAP_COUNTS").endsWith(QStringLiteral("code 3")))
        << Label(map, "IDC_MAP_COUNTS").toStdString();

    const std::string backup = Path("backup.txt");
    WriteFileBytes(backup, "0001,11\r0002,2222\r0003,33\r");
    Click(map, "IDC_MAP_COMPARE", backup);
    EXPECT_EQ(grid.Map().Cell(1).state, SlotState::Same);
    EXPECT_EQ(grid.Map().Cell(3).state, SlotState::OnlyInFile);
    EXPECT_EQ(grid.Map().Cell(448).state, SlotState::OnlyOnModule);
    EXPECT_EQ(Label(map, "IDC_MAP_SOURCE"), QStringLiteral("Module, compared with backup.txt"));
    const std::string names = Path("tv.map");
    WriteFileBytes(names, "1/1 POWER\n1/2 VOL+\n");
    Click(map, "IDC_MAP_NAMES", names);

    auto* cells = map->findChild<CSlotGrid*>("IDC_SLOT_GRID");
    const QPoint at = cells->CellRect(2).center();
    QHelpEvent help(QEvent::ToolTip, at, cells->mapToGlobal(at));
    QApplication::sendEvent(cells, &help);
    const QString summary = QStringLiteral("Slot 2, 1/2: differs, 1 byte (file: 2 bytes), VOL+");
    EXPECT_EQ(QToolTip::text(), summary);
    // The keys walk the cells; the screen reader hears the cell's summary.
    cells->setFocus();
    QTest::keyClick(cells, Qt::Key_Right);
    EXPECT_EQ(cells->accessibleDescription(), summary);
    EXPECT_EQ(Label(map, "IDC_MAP_CURRENT"), summary);
    QTest::keyClick(cells, Qt::Key_End);
    QTest::keyClick(cells, Qt::Key_Up);
    EXPECT_EQ(cells->Current(), 398);
    EXPECT_EQ(cells->accessibleName(), QStringLiteral("Slot map"));

    const std::string png = Path("map.png");
    Click(map, "IDC_MAP_SAVE", png);
    const QImage saved(QString::fromStdString(png));
    EXPECT_EQ(saved.size(), map->Picture()->size() * map->Picture()->devicePixelRatio());
    EXPECT_GT(saved.width(), cells->width());
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ModuleMapWindow, StoppedThenFilledFromAFile) {
    ASSERT_NO_FATAL_FAILURE(MakeDialog(BulkTiming()));
    CModuleMapDlg* map = OpenMap();
    ASSERT_NE(map, nullptr);
    ASSERT_TRUE(map->IsRunning());
    QTest::mouseClick(map->findChild<QPushButton*>("IDC_MAP_STOP"), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !map->IsRunning(); }, 10000));
    EXPECT_GT(map->Grid().Map().Counts()[static_cast<size_t>(SlotState::Unread)], 400);
    EXPECT_TRUE(Label(map, "IDC_MAP_SOURCE").startsWith(QStringLiteral("Module (stopped")));

    const std::string file = Path("a.txt");
    WriteFileBytes(file, "0005,55\r0401,AA\r");
    Click(map, "IDC_MAP_OPEN", file);
    EXPECT_EQ(map->Grid().Map().Cell(401).state, SlotState::Code);
    EXPECT_EQ(map->Grid().Map().Counts()[static_cast<size_t>(SlotState::Empty)], 446);
    EXPECT_EQ(Label(map, "IDC_MAP_SOURCE"), QStringLiteral("File a.txt"));
    map->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(dlg->ModuleMapDialog(), nullptr);
}

} // namespace
