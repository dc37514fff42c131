// The serial layer's pieces for the command line and the window: a port
// named by COM name or device path, why a port does not open, the by-id
// name of a device, and the monitor of the port directory.

#include "CliTestSupport.h"
#include "DeviceMap.h"
#include "PortAccess.h"
#include "PortDirectory.h"
#include "PortIdentity.h"
#include "PortMonitor.h"
#include "PortNamesFile.h"
#include "SerialLink.h"

#include <gtest/gtest.h>

#include <optional>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

TEST(PortLookup, ComNamesAndDevicePathsLeadToTheComNumber) {
    PrivateRuntimeDir runtime;
    auto module = StartModule("COM21");
    ASSERT_TRUE(module);
    const std::string alias = (runtime.Path() / "alias").string();
    std::filesystem::create_symlink(module->SlavePath(), alias);

    for (const std::string& name : {std::string("COM21"), std::string("com21"), module->SlavePath(),
                                    module->PublishedLink(), alias}) {
        SCOPED_TRACE(name);
        const PortLookup lookup = LookUpPort(name);
        EXPECT_EQ(lookup.problem, PortProblem::None) << lookup.text;
        EXPECT_EQ(lookup.port, 21);
    }
    struct Case {
        std::string name;
        PortProblem problem;
    };
    for (const Case& c :
         {Case{"COM0", PortProblem::NotAPortName}, Case{"COM256", PortProblem::NotAPortName},
          Case{"ttyUSB0", PortProblem::NotAPortName}, Case{"./ttyUSB0", PortProblem::NotAPortName},
          Case{"/dev/null", PortProblem::NotATerminal},
          Case{(runtime.Path() / "gone").string(), PortProblem::Missing}}) {
        SCOPED_TRACE(c.name);
        const PortLookup lookup = LookUpPort(c.name);
        EXPECT_EQ(lookup.problem, c.problem);
        EXPECT_EQ(lookup.port, 0);
        EXPECT_FALSE(lookup.text.empty());
    }
}

TEST(PortLookup, DiagnosisTellsAMissingPortFromABusyOne) {
    PrivateRuntimeDir runtime;
    auto module = StartModule("COM22");
    ASSERT_TRUE(module);
    EXPECT_EQ(DiagnosePort(22).problem, PortProblem::None);
    {
        CSerialLink holder;
        ASSERT_TRUE(holder.Open(22, 9600, 'N', 8, 0));
        const PortDiagnosis busy = DiagnosePort(22);
        EXPECT_EQ(busy.problem, PortProblem::Busy);
        EXPECT_EQ(busy.device, module->PublishedLink());
        EXPECT_NE(busy.text.find("busy: process " + std::to_string(getpid()) + " holds it"),
                  std::string::npos)
            << busy.text;
    }
    EXPECT_EQ(DiagnosePort(23).problem, PortProblem::NotListed);

    // A link whose target has gone.
    const std::string dir = PortDirectoryPath();
    std::filesystem::create_symlink("/dev/no-such-tty", dir + "/COM24");
    const PortDiagnosis missing = DiagnosePort(24);
    EXPECT_EQ(missing.problem, PortProblem::Missing);
    EXPECT_NE(missing.text.find("/dev/no-such-tty"), std::string::npos) << missing.text;

    // A link to something that is there but no serial line.
    std::filesystem::create_symlink("/dev/null", dir + "/COM26");
    const PortDiagnosis null = DiagnosePort(26);
    EXPECT_EQ(null.problem, PortProblem::NotATerminal);
    EXPECT_EQ(null.text, "COM26 leads to /dev/null, which is not a serial device");
}

// UUCP lock files keep Lumaret and other serial programs (ser2net, minicom)
// off each other's device: one is taken while a port is held, and another
// program's live one refuses the port.
TEST(PortLookup, AUucpLockIsHeldWithThePortAndAnotherProgramsMakesItBusy) {
    PrivateRuntimeDir runtime;
    const std::string locks = (runtime.Path() / "locks").string();
    std::filesystem::create_directory(locks);
    const std::string before =
        std::getenv("LUMARET_LOCK_DIR") ? std::getenv("LUMARET_LOCK_DIR") : "";
    setenv("LUMARET_LOCK_DIR", locks.c_str(), 1);
    auto module = StartModule("COM22");
    ASSERT_TRUE(module);
    const std::string lockFile =
        locks + "/LCK.." + std::filesystem::path(module->SlavePath()).filename().string();
    {
        CSerialLink link;
        ASSERT_TRUE(link.Open(22, 9600, 'N', 8, 0));
        EXPECT_EQ(std::stol(ReadFileBytes(lockFile)), getpid());
    }
    EXPECT_FALSE(FileExists(lockFile));

    ChildProcess other("/bin/sleep", {"30"});
    ASSERT_TRUE(other.Running());
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(other.Pid()));
    WriteFileBytes(lockFile, text);
    const CliResult r = RunProgram({"-p", "COM22", "version"});
    EXPECT_EQ(r.exit, 3) << r.err;
    EXPECT_NE(
        r.err.find("COM22 is busy: sleep (process " + std::to_string(other.Pid()) + ") holds it"),
        std::string::npos)
        << r.err;
    setenv("LUMARET_LOCK_DIR", before.c_str(), 1);
}

TEST(PortIdentity, TheByIdNameIsTheLinkToTheSameDevice) {
    PrivateRuntimeDir runtime;
    const auto dir = runtime.Path() / "by-id";
    std::filesystem::create_directory(dir);
    std::filesystem::create_symlink("/dev/null", dir / "usb-Maker_Adapter_A1-if00-port0");
    std::filesystem::create_symlink("/dev/zero", dir / "usb-Other-if00");
    EXPECT_EQ(ByIdName("/dev/null", dir.string()),
              (dir / "usb-Maker_Adapter_A1-if00-port0").string());
    EXPECT_EQ(ByIdName("/dev/full", dir.string()), "");
    EXPECT_EQ(ByIdName("/dev/null", (runtime.Path() / "none").string()), "");

    // A pseudo-terminal has no adapter behind it.
    auto module = StartModule("COM25");
    ASSERT_TRUE(module);
    EXPECT_TRUE(IdentifyPort(module->SlavePath()).Empty());
    EXPECT_EQ(DescribeIdentity({"FTDI", "FT232R USB UART", "A50285BI", "/dev/serial/by-id/x"}),
              "FTDI FT232R USB UART, serial A50285BI, /dev/serial/by-id/x");
    EXPECT_EQ(DescribeIdentity({"", "", "", ""}), "");
}

// Waits until the monitor's descriptor is readable and takes its changes.
bool ChangeSeen(CPortMonitor& monitor, std::chrono::milliseconds timeout) {
    return WaitFor(
        [&] {
            pollfd p{monitor.Fd(), POLLIN, 0};
            return poll(&p, 1, 50) > 0 && monitor.TakeChanges();
        },
        timeout);
}

TEST(PortMonitor, SeesPortsPublishedAndWithdrawnInThePortDirectory) {
    PrivateRuntimeDir runtime;
    CPortMonitor monitor;
    ASSERT_TRUE(monitor.Start());
    ASSERT_TRUE(monitor.WatchesPortDirectory());
    ASSERT_GE(monitor.Fd(), 0);
    EXPECT_FALSE(monitor.TakeChanges()); // nothing happened yet

    auto module = StartModule("COM26");
    ASSERT_TRUE(module);
    EXPECT_TRUE(ChangeSeen(monitor, 5s));
    while (monitor.TakeChanges()) {
    }
    module->Stop(); // withdraws the link
    EXPECT_TRUE(ChangeSeen(monitor, 5s));

    // A publisher killed outright leaves its link behind, but the kernel
    // closes its lock file: that is seen too, and the stale link is not listed.
    while (monitor.TakeChanges()) {
    }
    SimProgram sim({"--port", "COM27"});
    ASSERT_GT(sim.Pid(), 0);
    EXPECT_TRUE(WaitFor([] { return !ResolveComDevice(27).empty(); }, 5s));
    EXPECT_TRUE(ChangeSeen(monitor, 5s));
    while (monitor.TakeChanges()) {
    }
    sim.Kill();
    EXPECT_TRUE(ChangeSeen(monitor, 5s));
    EXPECT_TRUE(ResolveComDevice(27).empty());
    EXPECT_TRUE(std::filesystem::is_symlink(PortDirectoryPath() + "/COM27"));
}

// The names file in a folder of the test's own, for as long as it lives.
class CConfigHome {
public:
    explicit CConfigHome(const std::string& dir) : m_file(dir + "/lumaret/ports.conf") {
        if (const char* before = std::getenv("XDG_CONFIG_HOME")) {
            m_before = before;
        }
        std::filesystem::create_directories(dir + "/lumaret");
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    }
    ~CConfigHome() {
        if (m_before) {
            setenv("XDG_CONFIG_HOME", m_before->c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
    }
    void Write(const std::string& text) const {
        const std::string fresh = m_file + ".new";
        WriteFileBytes(fresh, text);
        std::filesystem::rename(fresh, m_file); // as an editor saves it
    }

private:
    std::string m_file;
    std::optional<std::string> m_before;
};

TEST(PortNamesFile, ANamedDeviceIsListedOpenedAndFollowedAsTheFileChanges) {
    PrivateRuntimeDir runtime;
    const CConfigHome config(runtime.Path().string() + "/config");
    auto module = StartModule("COM9", false);
    ASSERT_TRUE(module);
    CPortMonitor monitor;
    ASSERT_TRUE(monitor.Start());
    while (monitor.TakeChanges()) {
    }

    config.Write("COM40 = " + module->SlavePath() + "\nCOM9 = /dev/null\nCOM41 = /dev/no-such\n");
    EXPECT_TRUE(ChangeSeen(monitor, 5s));
    EXPECT_FALSE(monitor.TakeChanges()); // nothing more than the one change
    EXPECT_EQ(ResolveComDevice(40), module->SlavePath());
    EXPECT_TRUE(ResolveComDevice(41).empty()); // not plugged in: not offered

    CliResult r = RunInProcess({"ports"});
    EXPECT_NE(r.out.find("COM40"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("COM41"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("ports.conf line 2: COM9 is taken by a port of this machine"),
              std::string::npos)
        << r.err;
    r = RunInProcess({"-p", "COM40", "version"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "102.003\n");
    // The module under both of its names is one port to -p all.
    r = RunInProcess({"-p", "all", "version"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "102.003\n");

    // A malformed network target and a name the port list cannot show are
    // refused with their lines; nothing is opened relative to the working
    // directory, where a link by the target's name waits.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(runtime.Path());
    std::filesystem::create_directories("rfc2217:");
    std::filesystem::create_symlink(module->SlavePath(), "rfc2217:/127.0.0.1,47101:47101");
    config.Write("COM43 = rfc2217://127.0.0.1,47101:47101\nCOM101 = " + module->SlavePath() +
                 "\nCOM44 = bad\x1b[2J\n");
    EXPECT_TRUE(ChangeSeen(monitor, 5s));
    r = RunInProcess({"-p", "COM43", "version"});
    std::filesystem::current_path(before);
    EXPECT_EQ(r.exit, 3) << r.out;
    EXPECT_NE(r.err.find("ports.conf line 1: \"rfc2217://127.0.0.1,47101:47101\" is not "
                         "rfc2217://HOST:PORT"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("ports.conf line 2: \"COM101\" is longer than the port list can show"),
              std::string::npos)
        << r.err;
    // Text from the file reaches the terminal escaped, never raw.
    EXPECT_NE(r.err.find("ports.conf line 3: \"bad\\x1b[2J\""), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;

    config.Write("# nothing named\n");
    EXPECT_TRUE(ChangeSeen(monitor, 5s));
    EXPECT_TRUE(ResolveComDevice(40).empty());
}

} // namespace
