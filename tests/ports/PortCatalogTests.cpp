// The port catalog: which entries of the port list are serial devices, the
// natural order of their names, and what it tells about each port.

#include "DeviceMap.h"
#include "PortCatalog.h"
#include "PortDirectory.h"
#include "PublishedPty.h"
#include "RuntimeDir.h"
#include "SerialDevice.h"
#include "TestFiles.h"
#include "UucpLock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <optional>
#include <pty.h>
#include <random>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The listed port of that name, or nullopt.
std::optional<PortEntry> Listed(const std::string& comName) {
    for (PortEntry& e : ListPortEntries()) {
        if (e.comName == comName) {
            return std::move(e);
        }
    }
    return std::nullopt;
}

TEST(PortCatalogOrder, NumbersCompareAsNumbersAndLettersCaseBlind) {
    const std::vector<std::string> natural = {"COM1",  "COM2",  "COM3",   "COM9",
                                              "COM10", "COM21", "COM100", "COM255"};
    std::vector<std::string> shuffled = natural;
    std::mt19937 random(7);
    for (int round = 0; round < 5; ++round) {
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        std::sort(shuffled.begin(), shuffled.end(), ComNameLess);
        EXPECT_EQ(shuffled, natural);
    }
    EXPECT_TRUE(ComNameLess("com2", "COM10"));
    EXPECT_TRUE(ComNameLess("COM3", "Com21"));
    EXPECT_FALSE(ComNameLess("COM21", "COM3"));
    // The same name in other letters, or with a leading zero, is neither before nor after.
    EXPECT_FALSE(ComNameLess("com7", "COM7"));
    EXPECT_FALSE(ComNameLess("COM7", "com7"));
    EXPECT_FALSE(ComNameLess("COM07", "COM7"));
    EXPECT_TRUE(ComNameLess("COM7", "COM7a"));
}

class PortCatalogFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtime.Valid());
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    }
    void TearDown() override {
        close(slave);
        close(master);
    }
    std::string Make(const std::string& leaf) { return (runtime.Path() / leaf).string(); }

    PrivateRuntimeDir runtime;
    int master = -1;
    int slave = -1;
    char name[128] = {};
};

TEST_F(PortCatalogFiles, OnlyTerminalDevicesCountAsSerialDevices) {
    const std::string file = Make("file"), folder = Make("folder"), gone = Make("gone");
    const std::string toNull = Make("to-null"), toPty = Make("to-pty");
    std::ofstream(file) << "0001,AB\r";
    fs::create_directory(folder);
    fs::create_symlink(Make("nothing"), gone);
    fs::create_symlink("/dev/null", toNull);
    fs::create_symlink(name, toPty);

    for (const std::string& path : {std::string(name), toPty}) {
        EXPECT_TRUE(IsSerialDevice(path)) << path;
    }
    for (const std::string& path :
         {std::string("/dev/null"), std::string("/dev/zero"), std::string("/dev/full"),
          std::string("/dev/ptmx"), toNull, file, folder, gone}) {
        EXPECT_FALSE(IsSerialDevice(path)) << path;
    }
    // ttyS0 is there on every Linux machine, with or without a UART behind it.
    if (fs::exists("/dev/ttyS0")) {
        EXPECT_TRUE(IsSerialDevice("/dev/ttyS0"));
    }
}

TEST_F(PortCatalogFiles, EntriesLeaveOutWhatIsNoSerialDeviceAndComeInNaturalOrder) {
    const std::string file = Make("file"), folder = Make("folder");
    std::ofstream(file) << "text";
    fs::create_directory(folder);
    const std::vector<PortListItem> items = {
        {"COM10", name},        {"COM2", "/dev/null"}, {"COM3", file}, {"COM4", folder},
        {"COM5", Make("gone")}, {"COM6", "/dev/zero"}, {"com9", name},
    };
    const std::vector<PortEntry> entries = CatalogEntries(items);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].comName, "com9");
    EXPECT_EQ(entries[1].comName, "COM10");
    for (const PortEntry& e : entries) {
        EXPECT_EQ(e.kind, PortKind::PseudoTerminal);
        EXPECT_EQ(e.devicePath, name);
        EXPECT_EQ(e.description, "pseudo-terminal " + std::string(name));
        EXPECT_FALSE(e.inUse);
        EXPECT_EQ(e.serial, "");
    }
}

TEST_F(PortCatalogFiles, APublishedPortNamesItsProcessAndAHeldLockIsInUse) {
    PublishedPty published;
    ASSERT_TRUE(published.Open("COM12"));
    std::optional<PortEntry> com12 = Listed("COM12");
    ASSERT_TRUE(com12);
    EXPECT_EQ(com12->kind, PortKind::PublishedModule);
    EXPECT_EQ(com12->devicePath, published.LinkPath());
    EXPECT_EQ(com12->device, published.SlaveName());
    EXPECT_EQ(com12->publisher, getpid());
    EXPECT_EQ(com12->description, "simulated module, process " + std::to_string(getpid()));
    EXPECT_FALSE(com12->inUse);

    // Held the way the serial link holds a port it has open.
    const int fd = open(published.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(LockHolder(published.LinkPath()), getpid());
    com12 = Listed("COM12");
    ASSERT_TRUE(com12);
    EXPECT_TRUE(com12->inUse);
    close(fd);
    EXPECT_EQ(LockHolder(published.SlaveName()), 0);
}

TEST_F(PortCatalogFiles, AUucpLockFileHoldsThePortWhileItsProcessLives) {
    const std::string lockDir = Make("lock");
    fs::create_directory(lockDir);
    setenv("LUMARET_LOCK_DIR", lockDir.c_str(), 1);
    const std::string lockFile = lockDir + "/LCK.." + fs::path(name).filename().string();
    const std::string byLink = Make("usb-FTDI-if00"); // named as ser2net names a by-id link
    fs::create_symlink(name, byLink);
    EXPECT_EQ(LockHolder(name), 0);

    // Ours while held: the process id in ten columns; gone at release.
    {
        CUucpLock lock;
        UucpHolder holder;
        ASSERT_TRUE(lock.Take(byLink, holder));
        EXPECT_EQ(ReadFileBytes(lockFile), std::string(10 - std::to_string(getpid()).size(), ' ') +
                                               std::to_string(getpid()) + "\n");
        EXPECT_EQ(LockHolder(name), getpid());
    }
    EXPECT_FALSE(fs::exists(lockFile));

    // Another's, under the device's name or under the link's: refused, named.
    for (const std::string& file : {lockFile, lockDir + "/LCK..usb-FTDI-if00"}) {
        std::ofstream(file) << std::setw(10) << getpid() << "\n";
        CUucpLock lock;
        UucpHolder holder;
        EXPECT_FALSE(lock.Take(byLink, holder)) << file;
        EXPECT_EQ(holder.pid, getpid());
        EXPECT_EQ(holder.program, "ports_tests");
        fs::remove(file);
    }

    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    // The process of a stale lock has gone; text that names none holds
    // nothing. Either is taken over.
    for (const std::string& text : {std::to_string(child), std::string("none"), std::string()}) {
        std::ofstream(lockFile) << text;
        EXPECT_EQ(LockHolder(name), 0) << text;
        CUucpLock lock;
        UucpHolder holder;
        EXPECT_TRUE(lock.Take(name, holder)) << text;
        EXPECT_EQ(UucpLockHolder(name).pid, getpid()) << text;
    }

    // A folder that takes no lock: the device is used without one.
    setenv("LUMARET_LOCK_DIR", Make("no-such-folder").c_str(), 1);
    CUucpLock lock;
    UucpHolder holder;
    EXPECT_TRUE(lock.Take(name, holder));
    unsetenv("LUMARET_LOCK_DIR");
}

TEST_F(PortCatalogFiles, ALinkNamedInOtherLettersIsListedUnderItsComName) {
    ASSERT_TRUE(EnsurePortDirectory(PortDirectoryPath()));
    fs::create_symlink(name, PortDirectoryPath() + "/com14");
    const std::optional<PortEntry> com14 = Listed("COM14");
    ASSERT_TRUE(com14);
    EXPECT_EQ(com14->devicePath, PortDirectoryPath() + "/com14");
    EXPECT_EQ(ResolveComDevice(14), PortDirectoryPath() + "/com14");
    // A publication in any letters takes the one name, and so the one lock.
    PortPublication publication;
    ASSERT_TRUE(publication.Publish("Com15", name));
    EXPECT_EQ(publication.LinkPath(), PortDirectoryPath() + "/COM15");
    PortPublication rival;
    EXPECT_FALSE(rival.Publish("com15", name));
}

TEST_F(PortCatalogFiles, ALinkFromBeforeProcessesWereRecordedStillCounts) {
    PublishedPty published;
    ASSERT_TRUE(published.Open("COM13"));
    // An older publisher left its lock file empty.
    const int lock = open((published.LinkPath() + ".lock").c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(lock, 0);
    close(lock);
    EXPECT_EQ(ResolveComDevice(13), published.LinkPath());
    const std::optional<PortEntry> com13 = Listed("COM13");
    ASSERT_TRUE(com13);
    EXPECT_EQ(com13->kind, PortKind::PublishedModule);
    EXPECT_EQ(com13->description, "simulated module");
}

} // namespace
