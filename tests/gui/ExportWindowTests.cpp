// Export and Import through the real dialog against the simulated module:
// the file written, the frames the module received, the log, the progress
// bar and the buttons while and after a transfer runs.

#include "BulkTiming.h"
#include "ExpectedBytes.h"
#include "LumaretDlg.h"
#include "SimulatedModule.h"
#include "TestFiles.h"
#include "WindowTestSupport.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class Transfers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(module.Start());
        ASSERT_TRUE(module.Publish("COM9"));
        module.ClearSlots();
        registry = std::make_unique<CPortValueList>(
            std::vector<DeviceMapEntry>{{module.PublishedLink(), "COM9"}});
    }
    void TearDown() override {
        dlg.reset();
        module.Stop();
    }
    void MakeDialog(const ExchangeTiming& timing = BulkTiming(),
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
        QTest::mouseClick(Button("IDC_OPEN"), Qt::LeftButton);
        ASSERT_TRUE(dlg->IsPortOpen());
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

    // Clicks a transfer's button with the file dialog answering path.
    void Start(const char* button, const std::string& path) {
        prompts.fileName = QString::fromStdString(path);
        QTest::mouseClick(Button(button), Qt::LeftButton);
    }
    // Every worker joined: the command buttons are back.
    bool Idle() {
        return Button("IDC_GET_VERSION")->isEnabled() && Button("IDC_EXPORT")->isEnabled() &&
               Button("IDC_IMPORT")->isEnabled() && dlg->Exporting() == 0 && dlg->Importing() == 0;
    }
    bool WaitIdle(int ms = 60000) {
        return WaitFor([&] { return Idle(); }, ms);
    }
    void Run(const char* button, const std::string& path) {
        Start(button, path);
        ASSERT_TRUE(WaitIdle());
    }
    std::vector<Bytes> Frames() { return module.ReceivedFrames(); }
    // The worker waits on this thread for what it shows, so the wait keeps
    // the event loop running.
    bool WaitFrames(size_t count) {
        return WaitFor([&] { return Frames().size() >= count; }, 30000);
    }

    QTemporaryDir dir;
    SimulatedModule module;
    CRecordingPrompts prompts;
    std::unique_ptr<CPortValueList> registry;
    std::unique_ptr<CLumaretDlg> dlg;
};

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

    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 448u);
    for (uint16_t slot = 1; slot <= 448; ++slot) {
        ASSERT_EQ(frames[slot - 1], ExpectedReadFrame(slot)) << "slot " << slot;
    }
    // Slot 300, as the wire shows it.
    EXPECT_EQ(frames[299], AppendCrc({0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x03, 0x04, 0x2C, 0x01}));

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
    EXPECT_EQ(Frames().size(), 37u); // slot 37 asked once, never again
}

TEST_F(Transfers, CancelStopsAfterTheCurrentSlotAndKeepsTheFile) {
    for (uint16_t slot = 1; slot <= 448; slot += 2) {
        ASSERT_TRUE(module.SetSlot(slot, CodePattern(40, static_cast<uint8_t>(slot))));
    }
    MakeDialog();
    const std::string path = Path("cancelled.txt");
    Start("IDC_EXPORT", path);
    ASSERT_TRUE(WaitFrames(20));
    QTest::mouseClick(Button("IDC_EXPORT"), Qt::LeftButton);
    // The caption returns at once; the button waits for the worker to end.
    EXPECT_EQ(Button("IDC_EXPORT")->text(), "Export");
    EXPECT_EQ(dlg->Exporting(), 0);
    const size_t askedAtCancel = Frames().size();
    ASSERT_TRUE(WaitIdle());

    EXPECT_EQ(LogText(), "Export fail");
    const auto frames = Frames();
    EXPECT_LE(frames.size(), askedAtCancel + 1);
    EXPECT_NE(Progress()->value(), 0);
    std::string expected;
    for (uint16_t slot = 1; slot <= frames.size(); ++slot) {
        if (slot % 2 == 1) {
            expected += ExpectedLine(slot, CodePattern(40, static_cast<uint8_t>(slot)));
        }
    }
    // Every slot that answered before the cancel took hold is in the file.
    EXPECT_EQ(ReadFileBytes(path), expected);
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

    // Cancelled.
    Start("IDC_EXPORT", backup);
    ASSERT_TRUE(WaitFrames(20));
    QTest::mouseClick(Button("IDC_EXPORT"), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(LogText(), "Export fail");
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

TEST_F(Transfers, AnExportOverALinkAPipeOrADeviceIsRefusedBeforeAnyFrame) {
    MakeDialog();
    const std::string target = Path("target.txt");
    WriteFileBytes(target, "kept");
    const std::string link = Path("link.txt");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    const std::string fifo = Path("pipe.txt");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {link, fifo, std::string("/dev/null")}) {
        SCOPED_TRACE(path);
        Start("IDC_EXPORT", path);
        EXPECT_EQ(Button("IDC_EXPORT")->text(), "Export");
        EXPECT_EQ(dlg->Exporting(), 0);
    }
    // Nothing was started, so nothing can still come.
    EXPECT_TRUE(Idle());
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
            ASSERT_TRUE(module.Start());
            ASSERT_TRUE(module.Publish("COM9"));
            registry = std::make_unique<CPortValueList>(
                std::vector<DeviceMapEntry>{{module.PublishedLink(), "COM9"}});
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

TEST_F(Transfers, ExportToAFileThatCannotBeMadeDoesNothing) {
    MakeDialog();
    Start("IDC_EXPORT", Path("no/such/dir/out.txt"));
    EXPECT_TRUE(Idle());
    EXPECT_EQ(Button("IDC_EXPORT")->text(), "Export");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_FALSE(module.WaitForFrames(1, std::chrono::milliseconds(300)));

    // Cancelled file dialog: nothing either.
    Start("IDC_EXPORT", "");
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(Frames().empty());
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

TEST_F(Transfers, ImportOfAnEmptyFileSendsNothing) {
    MakeDialog();
    const std::string path = Path("zero.txt");
    WriteFileBytes(path, "");
    Progress()->setRange(0, 100);
    Progress()->setValue(50);
    Run("IDC_IMPORT", path);
    EXPECT_EQ(LogText(), "Import ok");
    EXPECT_EQ(Progress()->minimum(), 0);
    EXPECT_EQ(Progress()->maximum(), 0);
    EXPECT_TRUE(Frames().empty());

    ASSERT_EQ(prompts.fileDialogs.size(), 1u);
    EXPECT_FALSE(prompts.fileDialogs[0].save);
    EXPECT_EQ(prompts.fileDialogs[0].filter, QString::fromUtf8("TXT文件(*.txt)|*.txt||"));
    EXPECT_EQ(prompts.fileDialogs[0].defaultExtension, "txt");
}

TEST_F(Transfers, ImportShowsEachMalformedLineAndGoesOn) {
    MakeDialog();
    const std::string path = Path("bad.txt");
    // The last line's code is longer than a write frame carries: refused, not cut short.
    WriteFileBytes(path, "12,AB\r\r0012\r00012,AB\r0005," + std::string(2 * 501, 'A') + "\r");
    std::vector<int> progressAtBox;
    prompts.onMessage = [&](const QString&) { progressAtBox.push_back(Progress()->value()); };
    Progress()->setValue(3);
    Run("IDC_IMPORT", path);
    EXPECT_EQ(prompts.messages, std::vector<QString>(5, "File format wrong"));
    EXPECT_EQ(progressAtBox, std::vector<int>(5, 0));
    EXPECT_EQ(LogText(), "Import ok");
    EXPECT_TRUE(Frames().empty());
}

TEST_F(Transfers, ImportTriesEachLineTwice) {
    struct Case {
        const char* name;
        std::vector<uint32_t> replySizes;
        size_t frames;
        int progress;
        QString log;
    };
    const Case cases[] = {
        {"second attempt answered", {3, 8}, 8, 7, "Import ok"},
        {"fifth line fails twice", {8, 8, 8, 8, 0, 0}, 6, 4, "Import fail"},
    };
    std::string text;
    for (uint16_t slot = 1; slot <= 7; ++slot) {
        text += ExpectedLine(slot, {static_cast<uint8_t>(slot)});
    }
    const std::string path = Path("seven.txt");
    WriteFileBytes(path, text);
    MakeDialog();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimFaults faults;
        faults.writeReplySizes = c.replySizes;
        module.SetFaults(faults);
        module.ClearReceivedFrames();
        Run("IDC_IMPORT", path);
        EXPECT_EQ(LogText(), c.log);
        EXPECT_EQ(Progress()->maximum(), 7);
        EXPECT_EQ(Progress()->value(), c.progress);
        EXPECT_EQ(Frames().size(), c.frames);
    }
}

TEST_F(Transfers, ImportFramesAndLineEnds) {
    const Bytes withCode =
        AppendCrc({0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0xFF, 0xF4, 0x03, 0x00, 0xA1, 0xB2});
    const Bytes withoutCode =
        AppendCrc({0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0xFF, 0xF4, 0x03, 0x00});
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"CR", "0003,A1B2\r0003,\r0007,0102\r"},
        {"LF", "0003,A1B2\n0003,\n0007,0102\n"},
        {"CR LF", "0003,A1B2\r\n0003,\r\n0007,0102\r\n"},
        {"no final end", "0003,a1 b2\r0003,\r0007,0102"},
    };
    MakeDialog();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        module.ClearReceivedFrames();
        const std::string path = Path("ends.txt");
        WriteFileBytes(path, c.text);
        Run("IDC_IMPORT", path);
        EXPECT_EQ(LogText(), "Import ok");
        const auto frames = Frames();
        ASSERT_EQ(frames.size(), 3u);
        EXPECT_EQ(frames[0], withCode);
        EXPECT_EQ(frames[1], withoutCode);
        EXPECT_EQ(module.Slot(7), (Bytes{0x01, 0x02}));
        EXPECT_TRUE(module.Slot(3).empty());
        EXPECT_EQ(Progress()->value(), 3);
    }
}

TEST_F(Transfers, ImportFileThatCannotBeReadSaysSo) {
    MakeDialog();
    const std::string fifo = Path("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {Path("missing.txt"), dir.path().toStdString(), fifo}) {
        SCOPED_TRACE(path);
        prompts.messages.clear();
        const auto start = Clock::now();
        Start("IDC_IMPORT", path);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(prompts.messages, std::vector<QString>{"File Open Fail"});
        EXPECT_TRUE(Idle());
    }
    EXPECT_TRUE(Frames().empty());
}

TEST_F(Transfers, ImportEndsInFailureWhenThePortIsClosed) {
    std::string text;
    for (uint16_t slot = 1; slot <= 40; ++slot) {
        text += ExpectedLine(slot, {0x11});
    }
    const std::string path = Path("forty.txt");
    WriteFileBytes(path, text);
    MakeDialog();
    Start("IDC_IMPORT", path);
    ASSERT_TRUE(WaitFrames(3));
    QTest::mouseClick(Button("IDC_OPEN"), Qt::LeftButton);
    EXPECT_FALSE(dlg->IsPortOpen());
    ASSERT_TRUE(
        WaitFor([&] { return dlg->Importing() == 0 && Button("IDC_OPEN")->isEnabled(); }, 10000));
    EXPECT_EQ(LogText(), "Import fail");
    EXPECT_LT(Frames().size(), 40u);
}

TEST_F(Transfers, ExportImportExportRoundTrip) {
    const std::map<uint16_t, size_t> sizes{{1, 1},     {2, 2},     {100, 17},  {101, 250},
                                           {255, 499}, {256, 500}, {400, 3},   {401, 64},
                                           {448, 500}, {57, 128},  {333, 255}, {7, 9}};
    for (const auto& [slot, size] : sizes) {
        ASSERT_TRUE(module.SetSlot(slot, CodePattern(size, static_cast<uint8_t>(slot))));
    }
    // A code the module learned that is longer than a write frame carries.
    const Bytes longest = CodePattern(504, 99);
    ASSERT_TRUE(module.SetSlot(200, longest));
    MakeDialog();
    const std::string first = Path("first.txt");
    Run("IDC_EXPORT", first);
    ASSERT_EQ(LogText(), "Export ok");
    EXPECT_NE(ReadFileBytes(first).find(ExpectedLine(200, longest)), std::string::npos);

    std::map<uint16_t, Bytes> held;
    for (uint16_t slot = 1; slot <= 448; ++slot) {
        held[slot] = module.Slot(slot);
    }
    module.ClearSlots();
    Run("IDC_IMPORT", first);
    EXPECT_EQ(LogText(), "Import ok");
    EXPECT_EQ(prompts.messages, std::vector<QString>{"File format wrong"});
    for (uint16_t slot = 1; slot <= 448; ++slot) {
        ASSERT_EQ(module.Slot(slot), slot == 200 ? Bytes{} : held[slot]) << "slot " << slot;
    }

    // Without the over-long code, a second export gives the same bytes.
    const std::string second = Path("second.txt");
    Run("IDC_EXPORT", second);
    std::string expected = ReadFileBytes(first);
    expected.erase(expected.find(ExpectedLine(200, longest)), ExpectedLine(200, longest).size());
    EXPECT_EQ(ReadFileBytes(second), expected);

    module.ClearSlots();
    Run("IDC_IMPORT", second);
    const std::string third = Path("third.txt");
    Run("IDC_EXPORT", third);
    EXPECT_EQ(ReadFileBytes(third), ReadFileBytes(second));
}

// The fixed timing of the program, once each: a whole export and a short import.
TEST_F(Transfers, FixedTimingExportAndImport) {
    ASSERT_TRUE(module.SetSlot(5, {0x05}));
    ASSERT_TRUE(module.SetSlot(448, CodePattern(500, 4)));
    MakeDialog(FixedTiming());
    const std::string path = Path("fixed.txt");
    auto start = Clock::now();
    Start("IDC_EXPORT", path);
    ASSERT_TRUE(WaitIdle(240000));
    const auto exportTime = Clock::now() - start;
    EXPECT_EQ(LogText(), "Export ok");
    EXPECT_EQ(ReadFileBytes(path),
              ExpectedLine(5, {0x05}) + ExpectedLine(448, CodePattern(500, 4)));
    // 448 pauses of 100 ms, each read ending 100 ms after its reply.
    EXPECT_GE(exportTime, std::chrono::milliseconds(448 * 200));

    module.ClearSlots();
    const std::string two = Path("two.txt");
    WriteFileBytes(two, "0009,0102\r0010,\r");
    module.ClearReceivedFrames();
    start = Clock::now();
    Run("IDC_IMPORT", two);
    const auto importTime = Clock::now() - start;
    EXPECT_EQ(LogText(), "Import ok");
    EXPECT_EQ(module.Slot(9), (Bytes{0x01, 0x02}));
    EXPECT_EQ(Frames().size(), 2u);
    // Two lines, each a 500 ms pause and a read that ends 100 ms after its reply.
    EXPECT_GE(importTime, std::chrono::milliseconds(2 * 600));
    EXPECT_LT(importTime, std::chrono::seconds(10));
}

} // namespace
