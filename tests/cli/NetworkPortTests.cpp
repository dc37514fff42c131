// lumaret-cli on modules served over the network by a real ser2net: the same
// bytes on the line as a local port, several at once beside a local one, and
// the faults of a network said in words of their own.

#include "CliFixture.h"
#include "GensioConnection.h"
#include "LoopbackProxy.h"
#include "NetworkDriver.h"
#include "ReadLimits.h"
#include "Ser2netServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Frames = std::vector<std::vector<uint8_t>>;

// The bulk timing with read endings a network's delays stay within.
ExchangeTiming NetworkTiming() {
    ExchangeTiming timing = BulkTiming();
    timing.lineTimeouts.ReadIntervalTimeout = 60;
    return timing;
}

// The frames a module took, a frame repeated in a row counted once: how often
// a learn is polled depends on when its answer comes, not on the line.
Frames Collapsed(const Frames& frames) {
    Frames kept;
    for (const auto& frame : frames) {
        if (kept.empty() || kept.back() != frame) {
            kept.push_back(frame);
        }
    }
    return kept;
}

// Simulated modules that one ser2net serves, each on a loopback port of its own.
struct RemoteModules {
    std::vector<std::unique_ptr<SimulatedModule>> modules;
    Ser2netServer server;

    bool Start(size_t count, const std::string& folder, bool kickOldUser = false) {
        std::vector<std::string> devices;
        for (size_t i = 0; i < count; ++i) {
            modules.push_back(std::make_unique<SimulatedModule>());
            if (!modules.back()->Start()) {
                return false;
            }
            devices.push_back(modules.back()->SlavePath());
        }
        std::filesystem::create_directories(folder);
        return server.Start(devices, folder, kickOldUser);
    }
    SimulatedModule& operator[](size_t i) { return *modules.at(i); }
    // The name the command line gives the module in reports and file names.
    std::string FileLabel(size_t i) const { return "127.0.0.1-" + std::to_string(server.Port(i)); }
};

// A TCP connection to a loopback port, held until the object goes.
struct PlainClient {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool Connect(uint16_t port) const {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        return connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~PlainClient() { close(fd); }
};

class NetworkPorts : public ::testing::Test {
protected:
    void SetUp() override {
        if (Ser2netServer::Program().empty()) {
            GTEST_SKIP() << "ser2net is not installed";
        }
        dir = runtime.Path().string();
        local = StartModule("COM9", false);
        ASSERT_TRUE(local);
        SeedEveryThirdSlot(*local);
    }

    // count remote modules, each holding what the local one holds.
    void StartRemote(size_t count, bool kickOldUser = false) {
        ASSERT_TRUE(remote.Start(count, dir + "/net", kickOldUser));
        for (size_t i = 0; i < count; ++i) {
            SeedEveryThirdSlot(remote[i]);
        }
    }

    // Empties two modules and forgets the frames they took.
    static void Empty(SimulatedModule& a, SimulatedModule& b) {
        for (SimulatedModule* m : {&a, &b}) {
            m->ClearSlots();
            m->ClearReceivedFrames();
        }
    }
    // After a run that wrote into two emptied modules: the same frames
    // reached both, and each now holds what source holds.
    static void ExpectSameWrites(SimulatedModule& a, SimulatedModule& b, SimulatedModule& source) {
        EXPECT_EQ(a.ReceivedFrames(), b.ReceivedFrames());
        for (uint16_t slot = 1; slot <= 448; ++slot) {
            ASSERT_EQ(a.Slot(slot), source.Slot(slot)) << slot;
            ASSERT_EQ(b.Slot(slot), source.Slot(slot)) << slot;
        }
    }

    PrivateRuntimeDir runtime;
    std::string dir;
    RemoteModules remote;
    std::unique_ptr<SimulatedModule> local;
};

TEST_F(NetworkPorts, OneLocalAndTwoRemoteModulesExportAtOnceByteForByte) {
    StartRemote(2);
    // One run, a local and two remote modules at once, each into its own file.
    remote[0].ClearReceivedFrames();
    remote[1].ClearReceivedFrames();
    local->ClearReceivedFrames();
    CliResult r =
        RunInProcess({"-p", remote.server.Url(0), "-p", "COM9", "-p", remote.server.Url(1),
                      "--fast", "export", dir + "/backup-{port}.txt"},
                     NetworkTiming());
    EXPECT_EQ(r.exit, 0) << r.err;
    const std::string expected = ReadFileBytes(dir + "/backup-COM9.txt");
    EXPECT_FALSE(expected.empty());
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(ReadFileBytes(dir + "/backup-" + remote.FileLabel(i) + ".txt"), expected) << i;
        EXPECT_EQ(remote[i].ReceivedFrames(), local->ReceivedFrames()) << i;
    }

    // The file back into an emptied remote module: every slot as it was, by
    // the same frames as into an emptied local one.
    Empty(remote[0], *local);
    r = RunInProcess(
        {"-p", remote.server.Url(0), "-p", "COM9", "--fast", "import", dir + "/backup-COM9.txt"},
        NetworkTiming());
    EXPECT_EQ(r.exit, 0) << r.err;
    ExpectSameWrites(remote[0], *local, remote[1]);
}

TEST_F(NetworkPorts, KeyCommandsAndACloneOverTheNetworkPutTheLocalBytesOnTheLine) {
    StartRemote(2);
    SimFaults quickLearn;
    quickLearn.learnDelayMs = 300;
    remote[0].SetFaults(quickLearn);
    local->SetFaults(quickLearn);
    const std::vector<std::vector<std::string>> commands = {
        {"version"},        {"read", "1", "1"}, {"read", "--slot", "2"},
        {"send", "1", "4"}, {"send", "1", "5"}, {"learn", "1", "2"}};
    // Empty slots answer "Key empty!" on standard error and print nothing.
    const std::string url = remote.server.Url(0);
    for (const auto& command : commands) {
        remote[0].ClearReceivedFrames();
        local->ClearReceivedFrames();
        // Both in one run, each line of output led by its port.
        std::vector<std::string> args = {"-p", url + ",COM9"};
        args.insert(args.end(), command.begin(), command.end());
        const CliResult r = RunInProcess(args);
        const std::vector<std::string> lines = OutputLines(r.out);
        if (!lines.empty()) {
            ASSERT_EQ(lines.size(), 2u) << command[0] << r.out;
            EXPECT_EQ(lines[0].substr(0, url.size() + 2), url + ": ") << command[0];
            EXPECT_EQ(lines[1].substr(0, 6), "COM9: ") << command[0];
            EXPECT_EQ(lines[0].substr(url.size() + 2), lines[1].substr(6)) << command[0];
        }
        EXPECT_FALSE(remote[0].ReceivedFrames().empty()) << command[0];
        EXPECT_EQ(Collapsed(remote[0].ReceivedFrames()), Collapsed(local->ReceivedFrames()))
            << command[0] << r.err;
    }
    EXPECT_FALSE(remote[0].Slot(2).empty());
    EXPECT_EQ(remote[0].Slot(2), local->Slot(2));

    // The first remote module onto the second and onto the local one.
    Empty(remote[1], *local);
    const CliResult clone = RunInProcess(
        {"-p", remote.server.Url(0), "--fast", "clone", "--to", remote.server.Url(1) + ",COM9"},
        NetworkTiming());
    EXPECT_EQ(clone.exit, 0) << clone.err;
    ExpectSameWrites(remote[1], *local, remote[0]);
}

TEST_F(NetworkPorts, ANamedNetworkPortIsListedAndTakenLikeAnyOther) {
    StartRemote(1);
    const std::string config = dir + "/config";
    std::filesystem::create_directories(config + "/lumaret");
    WriteFileBytes(config + "/lumaret/ports.conf", "COM50 = " + remote.server.Url() + "\n");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const CliResult ports = RunInProcess({"ports"});
    const CliResult version = RunInProcess({"-p", "COM50", "version"});
    const CliResult all = RunInProcess({"-p", "all", "version"});
    unsetenv("XDG_CONFIG_HOME");
    // -p all: the published module and the one the names file names.
    EXPECT_EQ(all.exit, 0) << all.err;
    EXPECT_EQ(OutputLines(all.out), (std::vector<std::string>{"COM9: 102.003", "COM50: 102.003"}));
    EXPECT_NE(ports.out.find("COM50"), std::string::npos) << ports.out;
    EXPECT_NE(ports.out.find(remote.server.Url()), std::string::npos) << ports.out;
    EXPECT_EQ(version.exit, 0) << version.err;
    EXPECT_EQ(version.out, "102.003\n");
}

TEST_F(NetworkPorts, NetworkFaultsAreToldAndNeverHang) {
    // Nobody listens.
    const std::string nobody = "rfc2217://127.0.0.1:" + std::to_string(FreeLoopbackPort());
    CliResult r = RunInProcess({"-p", nobody, "version"});
    EXPECT_EQ(r.exit, 3);
    EXPECT_NE(r.err.find("cannot connect to 127.0.0.1:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Connection refused"), std::string::npos) << r.err;

    // The server goes in the middle of an export: the backup stays as it was.
    StartRemote(1);
    const std::string backup = dir + "/backup.txt";
    WriteFileBytes(backup, "0001,0A\r");
    std::thread cut([this] {
        remote[0].WaitForFrames(40, std::chrono::seconds(20));
        remote.server.Kill();
    });
    remote[0].ClearReceivedFrames();
    r = RunInProcess({"-p", remote.server.Url(), "--fast", "export", backup}, NetworkTiming());
    cut.join();
    EXPECT_EQ(r.exit, 4) << r.err;
    EXPECT_NE(r.err.find("the server closed the connection"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(backup), "0001,0A\r");
    EXPECT_TRUE(FileExists(backup + ".partial"));
}

// A peer that is no module: one connection taken, then either bytes sent
// without end (flood), or the first nine bytes of a version reply once a
// frame came in, and the connection closed.
class HostileServer {
public:
    explicit HostileServer(bool flood) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            listen(m_listener, 1) != 0 ||
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return;
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, flood] { Serve(flood); });
    }
    ~HostileServer() {
        shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        close(m_listener);
    }
    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(m_port); }

private:
    void Serve(bool flood) {
        const int peer = accept(m_listener, nullptr, nullptr);
        if (peer < 0) {
            return;
        }
        const std::string bytes =
            flood ? std::string(256, 'A') : "\x01\x05\x02\x06\x00\x00\xF1\x31\x30";
        if (!flood) {
            // Telnet's offers first, then the frame: wait until its end is in.
            char in[256];
            size_t got = 0;
            for (ssize_t n = 0; got < 20 && (n = recv(peer, in, sizeof in, 0)) > 0;) {
                got += static_cast<size_t>(n);
            }
        }
        const auto end = Clock::now() + std::chrono::seconds(30);
        do {
            if (send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) {
                break;
            }
        } while (flood && Clock::now() < end);
        close(peer);
    }

    int m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t m_port = 0;
    std::thread m_thread;
};

TEST_F(NetworkPorts, APeerThatIsNoModuleNeverBecomesAReplyOrABackup) {
    const std::string backup = dir + "/backup.txt";
    WriteFileBytes(backup, "0001,0A\r");
    {
        HostileServer flood(true);
        const CliResult r = RunInProcess({"-p", flood.Url(), "export", backup}, NetworkTiming());
        EXPECT_EQ(r.exit, 4) << r.err;
        ExpectContains(r.err, {"the port sends without pause: is a module attached?"});
        EXPECT_EQ(ReadFileBytes(backup), "0001,0A\r");
    }
    HostileServer cut(false);
    const CliResult r = RunInProcess({"-p", cut.Url(), "read", "1", "1"}, NetworkTiming());
    EXPECT_EQ(r.exit, 4) << r.err;
    EXPECT_EQ(r.out, "");
    ExpectContains(r.err, {"the server closed the connection"});
}

// Without kickolduser ser2net refuses a second client in words of its own,
// which the run passes on as a port that is busy.
TEST_F(NetworkPorts, AServerSayingThePortIsInUseMakesItBusy) {
    StartRemote(1);
    PlainClient holder;
    ASSERT_TRUE(holder.Connect(remote.server.Port()));
    char greeting = 0; // the server's telnet offer: the port is the holder's
    ASSERT_EQ(recv(holder.fd, &greeting, 1, 0), 1);
    const CliResult r = RunInProcess({"-p", remote.server.Url(), "version"});
    EXPECT_EQ(r.exit, 3) << r.err;
    EXPECT_NE(r.err.find("busy: the server says the port is already in use"), std::string::npos)
        << r.err;
}

// ser2net with kickolduser hands the port to whoever connects last: the run
// that had it ends at its next exchange and says why.
TEST_F(NetworkPorts, AnotherClientTakingThePortOverEndsTheRun) {
    StartRemote(1, true);
    const std::string backup = dir + "/backup.txt";
    WriteFileBytes(backup, "0001,0A\r");
    PlainClient other;
    std::thread takeOver([&] {
        remote[0].WaitForFrames(40, std::chrono::seconds(20));
        EXPECT_TRUE(other.Connect(remote.server.Port()));
    });
    remote[0].ClearReceivedFrames();
    const CliResult r =
        RunInProcess({"-p", remote.server.Url(), "--fast", "export", backup}, NetworkTiming());
    takeOver.join();
    EXPECT_EQ(r.exit, 4) << r.err;
    EXPECT_NE(r.err.find("the server closed the connection"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(backup), "0001,0A\r");
}

// A network that stops carrying anything in the middle of an export: the
// exchange under way ends at its bound, with the purge's wait for an answer
// on top, and the port closes within the connection's own bounds.
TEST_F(NetworkPorts, AStalledNetworkEndsTheRunWithinItsBounds) {
    StartRemote(1);
    LoopbackProxy proxy;
    ASSERT_TRUE(proxy.Start(remote.server.Port()));
    const std::string backup = dir + "/backup.txt";
    WriteFileBytes(backup, "0001,0A\r");
    Clock::time_point stalled;
    std::thread stall([&] {
        remote[0].WaitForFrames(40, std::chrono::seconds(20));
        proxy.Stall();
        stalled = Clock::now();
    });
    remote[0].ClearReceivedFrames();
    const ExchangeTiming timing = NetworkTiming();
    const CliResult r = RunInProcess({"-p", proxy.Url(), "--fast", "export", backup}, timing);
    const auto ended = Clock::now();
    stall.join();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(ended - stalled);
    EXPECT_EQ(r.exit, 4) << r.err;
    EXPECT_EQ(ReadFileBytes(backup), "0001,0A\r");
    // Each try of the slot's read: the purge's wait, then the read's pause
    // and its longest read; then the close's pause and the connection's end.
    const long exchange = long(NetworkDriver::ANSWER_WAIT_MS) + long(timing.exportPauseMs) +
                          long(ReadBoundMs(timing.lineTimeouts, timing.exportReadSize));
    const long closing =
        1000 + long(GensioConnection::CLOSE_WAIT_MS) + long(GensioConnection::FREE_WAIT_MS);
    EXPECT_LT(took.count(), 2 * exchange + closing + 500) << r.err;
}

} // namespace
