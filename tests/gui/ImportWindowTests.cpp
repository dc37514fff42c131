// Import through the real dialog against the simulated module: the lines
// written and those shown as malformed, the log, the progress bar, files that
// cannot be read, and round trips through export and import.

#include "TransferWindow.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace {

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
    MakeDialog();
    // CR, LF and CR LF ends in one file, and a last line without an end.
    const std::string path = Path("ends.txt");
    WriteFileBytes(path, "0003,A1B2\r0003,\n0007,0102\r\n0009,a1 b2");
    Run("IDC_IMPORT", path);
    EXPECT_EQ(LogText(), "Import ok");
    EXPECT_EQ(Frames(),
              (std::vector<Bytes>{withCode, withoutCode, ExpectedWriteFrame(7, {0x01, 0x02}),
                                  ExpectedWriteFrame(9, {0xA1, 0xB2})}));
    EXPECT_TRUE(module.Slot(3).empty());
    EXPECT_EQ(module.Slot(9), (Bytes{0xA1, 0xB2}));
    EXPECT_EQ(Progress()->value(), 4);
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
