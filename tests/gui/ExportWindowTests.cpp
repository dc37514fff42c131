// Export through the real dialog against the simulated module: the file
// written, the log, the progress bar and the buttons while and after it runs,
// and how it ends when cancelled, cut off or closed.

#include "TransferWindow.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <vector>

namespace {

TEST_F(Transfers, ExportOfAnEmptyModuleWritesAnEmptyFile) {
    MakeDialog();
    const std::string path = Path("empty.txt");
    WriteFileBytes(path, "old content");
    Start("IDC_EXPORT", path);
    EXPECT_EQ(Button("IDC_EXPORT")->text(), "Cancel");
    ASSERT_TRUE(WaitIdle());

    EXPECT_EQ(LogText(), "Export ok");
    EXPECT_EQ(Button("IDC_EXPORT")->text(), "Export");
    EXPECT_EQ(Progress()->minimum(), 0);
    EXPECT_EQ(Progress()->maximum(), 448);
    EXPECT_EQ(Progress()->value(), 448);
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    EXPECT_EQ(Frames().size(), 448u);

    ASSERT_EQ(prompts.fileDialogs.size(), 1u);
    const auto& request = prompts.fileDialogs[0];
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.filter, "TXT Files (*.txt)|*.txt|All Files (*.*)|*.*||");
    EXPECT_EQ(request.defaultExtension, "txt");
    EXPECT_EQ(request.initialName, "*.txt");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(Transfers, ExportEndsWhereTheModuleStopsAnswering) {
    ASSERT_TRUE(module.SetSlot(1, {0x01}));
    ASSERT_TRUE(module.SetSlot(20, CodePattern(30, 2)));
    ASSERT_TRUE(module.SetSlot(36, CodePattern(500, 3)));
    ASSERT_TRUE(module.SetSlot(37, {0x37}));
    ASSERT_TRUE(module.SetSlot(100, {0x64}));
    SimFaults faults;
    faults.stopAfterSlot = 36;
    module.SetFaults(faults);
    MakeDialog();
    const std::string path = Path("partial.txt");
    Run("IDC_EXPORT", path);

    EXPECT_EQ(LogText(), "Export fail");
    EXPECT_EQ(Progress()->value(), 0);
    EXPECT_EQ(ReadFileBytes(path), ExpectedLine(1, {0x01}) + ExpectedLine(20, CodePattern(30, 2)) +
                                       ExpectedLine(36, CodePattern(500, 3)));
}

// An export that ends early never destroys the backup it was to replace.
TEST_F(Transfers, AnExportThatEndsEarlyKeepsTheOldBackupWhole) {
    for (uint16_t slot = 1; slot <= 448; slot += 2) {
        ASSERT_TRUE(module.SetSlot(slot, CodePattern(40, static_cast<uint8_t>(slot))));
    }
    MakeDialog();
    const std::string backup = Path("backup.txt");
    const std::string good = ExpectedLine(7, {0x07, 0x70});
    WriteFileBytes(backup, good);

    // Cancelled: the caption returns at once, the worker stops after its slot.
    Start("IDC_EXPORT", backup);
    ASSERT_TRUE(WaitFrames(20));
    QTest::mouseClick(Button("IDC_EXPORT"), Qt::LeftButton);
    EXPECT_EQ(Button("IDC_EXPORT")->text(), "Export");
    EXPECT_EQ(dlg->Exporting(), 0);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(LogText(), "Export fail");
    EXPECT_NE(Progress()->value(), 0);
    EXPECT_EQ(ReadFileBytes(backup), good);
    std::string expected;
    for (uint16_t slot = 1; slot <= Frames().size(); slot += 2) {
        expected += ExpectedLine(slot, CodePattern(40, static_cast<uint8_t>(slot)));
    }
    EXPECT_EQ(ReadFileBytes(backup + ".partial"), expected);

    // Failed: the module stops answering.
    module.ClearReceivedFrames();
    SimFaults faults;
    faults.stopAfterSlot = 9;
    module.SetFaults(faults);
    Run("IDC_EXPORT", backup);
    EXPECT_EQ(LogText(), "Export fail");
    EXPECT_EQ(ReadFileBytes(backup), good);
    expected.clear();
    for (uint16_t slot = 1; slot <= 9; slot += 2) {
        expected += ExpectedLine(slot, CodePattern(40, static_cast<uint8_t>(slot)));
    }
    EXPECT_EQ(ReadFileBytes(backup + ".partial"), expected);

    // To a new name, the lines read make the file, as they always have.
    const std::string fresh = Path("fresh.txt");
    Run("IDC_EXPORT", fresh);
    EXPECT_EQ(LogText(), "Export fail");
    EXPECT_EQ(ReadFileBytes(fresh), expected);
    EXPECT_FALSE(std::filesystem::exists(fresh + ".partial"));

    // A complete export replaces the backup.
    module.SetFaults({});
    Run("IDC_EXPORT", backup);
    EXPECT_EQ(LogText(), "Export ok");
    expected.clear();
    for (uint16_t slot = 1; slot <= 448; slot += 2) {
        expected += ExpectedLine(slot, CodePattern(40, static_cast<uint8_t>(slot)));
    }
    EXPECT_EQ(ReadFileBytes(backup), expected);
}

// A target that cannot be replaced, a folder that takes no file, or a
// cancelled file dialog: nothing starts and nothing is said.
TEST_F(Transfers, AnExportThatCannotWriteItsFileNeverStarts) {
    MakeDialog();
    const std::string target = Path("target.txt");
    WriteFileBytes(target, "kept");
    const std::string link = Path("link.txt");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    for (const std::string& path :
         {link, std::string("/dev/null"), Path("no/such/dir/out.txt"), std::string()}) {
        SCOPED_TRACE(path);
        Start("IDC_EXPORT", path);
        EXPECT_EQ(Button("IDC_EXPORT")->text(), "Export");
        // Nothing was started, so nothing can still come.
        EXPECT_TRUE(Idle());
    }
    EXPECT_TRUE(Frames().empty());
    EXPECT_EQ(ReadFileBytes(target), "kept");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(Transfers, OnlyOneExchangeAtATimeWhileATransferRuns) {
    MakeDialog();
    Start("IDC_EXPORT", Path("busy.txt"));
    ASSERT_TRUE(WaitFrames(5));
    for (const char* name :
         {"IDC_GET_VERSION", "IDC_READ", "IDC_LEARN", "IDC_SEND", "IDC_IMPORT"}) {
        EXPECT_FALSE(Button(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(Button("IDC_EXPORT")->isEnabled()); // its Cancel
    EXPECT_TRUE(Button("IDC_OPEN")->isEnabled());

    // A cancelled transfer's button waits for its worker.
    QTest::mouseClick(Button("IDC_EXPORT"), Qt::LeftButton);
    EXPECT_FALSE(Button("IDC_EXPORT")->isEnabled());
    ASSERT_TRUE(WaitIdle());
    for (const char* name : {"IDC_GET_VERSION", "IDC_READ", "IDC_LEARN", "IDC_SEND", "IDC_IMPORT",
                             "IDC_EXPORT", "IDC_OPEN"}) {
        EXPECT_TRUE(Button(name)->isEnabled()) << name;
    }
    // The line is free again: Get answers.
    module.ClearReceivedFrames();
    QTest::mouseClick(Button("IDC_GET_VERSION"), Qt::LeftButton);
    EXPECT_EQ(dlg->findChild<QLineEdit*>(QStringLiteral("IDC_VERSION"))->text(), "102.003");
}

TEST_F(Transfers, ExportEndsInFailureWhenTheLineGoes) {
    struct Case {
        const char* name;
        std::function<void()> cut;
    };
    const Case cases[] = {
        {"port closed with Open/Close",
         [this] { QTest::mouseClick(Button("IDC_OPEN"), Qt::LeftButton); }},
        {"pseudo-terminal hung up", [this] { module.Stop(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlg.reset();
        if (!module.IsRunning()) {
            ASSERT_TRUE(StartPublished(module, "COM9"));
            ListModule();
        }
        module.ClearReceivedFrames();
        MakeDialog();
        Start("IDC_EXPORT", Path("cut.txt"));
        ASSERT_TRUE(WaitFrames(10));
        c.cut();
        ASSERT_TRUE(WaitFor(
            [&] { return dlg->Exporting() == 0 && Button("IDC_OPEN")->isEnabled(); }, 10000));
        ASSERT_TRUE(WaitFor([&] { return LogText() == "Export fail"; }, 5000))
            << LogText().toStdString();
        // The caption comes back once the worker has gone, a moment after the log.
        EXPECT_TRUE(WaitFor([&] { return Button("IDC_EXPORT")->text() == "Export"; }, 5000));
        EXPECT_EQ(Progress()->value(), 0);
    }
}

TEST_F(Transfers, ClosingTheDialogMidExportStopsAndJoinsTheWorker) {
    for (uint16_t slot = 1; slot <= 448; ++slot) {
        ASSERT_TRUE(module.SetSlot(slot, CodePattern(8, static_cast<uint8_t>(slot))));
    }
    MakeDialog();
    const std::string path = Path("closed.txt");
    Start("IDC_EXPORT", path);
    ASSERT_TRUE(WaitFrames(15));
    const auto start = Clock::now();
    dlg.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));

    // Every line written so far is in the file, whole.
    const size_t asked = Frames().size();
    const std::string text = ReadFileBytes(path);
    std::string expected;
    for (uint16_t slot = 1; slot <= asked && expected.size() < text.size(); ++slot) {
        expected += ExpectedLine(slot, CodePattern(8, static_cast<uint8_t>(slot)));
    }
    EXPECT_GE(text.size(), 14u * ExpectedLine(1, CodePattern(8, 1)).size());
    EXPECT_EQ(text, expected);
}

TEST_F(Transfers, ThreadThatCannotStartIsReportedAndLeavesNothingOpen) {
    MakeDialog(BulkTiming(), [](std::function<void()>) { return nullptr; });
    const std::string path = Path("lines.txt");
    WriteFileBytes(path, "0001,AA\r");
    auto openFiles = [&] {
        int count = 0;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            if (std::filesystem::read_symlink(fd.path(), ec) == path) {
                ++count;
            }
        }
        return count;
    };
    for (const char* button : {"IDC_EXPORT", "IDC_IMPORT"}) {
        SCOPED_TRACE(button);
        prompts.messages.clear();
        Start(button, path);
        EXPECT_EQ(prompts.messages, std::vector<QString>{"Create Thread Fail"});
        EXPECT_EQ(Button(button)->text(),
                  button == std::string("IDC_EXPORT") ? "Export" : "Import");
        EXPECT_TRUE(Idle());
        EXPECT_EQ(openFiles(), 0);
    }
    EXPECT_TRUE(Frames().empty());
}

} // namespace
