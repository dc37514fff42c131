// lumaret-cli on modules served over the network by a real ser2net: the same
// bytes on the line as a local port, several at once beside a local one, and
// the faults of a network said in words of their own.

#include "CliTestSupport.h"
#include "Ser2netServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

// The bulk timing with read endings a network's delays stay within.
ExchangeTiming NetworkTiming() {
    ExchangeTiming timing = BulkTiming();
    timing.lineTimeouts.ReadIntervalTimeout = 60;
    return timing;
}

// A simulated module that ser2net serves on a free loopback port.
struct RemoteModule {
    std::unique_ptr<SimulatedModule> module;
    Ser2netServer server;

    bool Start(const std::string& folder, bool kickOldUser = false) {
        module = std::make_unique<SimulatedModule>();
        std::filesystem::create_directories(folder);
        return module->Start() && server.Start(module->SlavePath(), folder, kickOldUser);
    }
};

class NetworkPorts : public ::testing::Test {
protected:
    void SetUp() override {
        if (Ser2netServer::Program().empty()) {
            GTEST_SKIP() << "ser2net is not installed";
        }
        dir = runtime.Path().string();
        ASSERT_TRUE(remote.Start(dir + "/net1"));
        local = StartModule("COM9", false);
        ASSERT_TRUE(local);
        // Both hold the same slots.
        SeedEveryThirdSlot(*remote.module);
        SeedEveryThirdSlot(*local);
    }

    PrivateRuntimeDir runtime;
    std::string dir;
    RemoteModule remote;
    std::unique_ptr<SimulatedModule> local;
};

TEST_F(NetworkPorts, AnExportOverTheNetworkIsTheLocalOneByteForByte) {
    const std::string url = remote.server.Url();
    CliResult r = RunInProcess({"-p", url, "version"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "102.003\n");

    // One run, a local and a remote module at once, each into its own file.
    remote.module->ClearReceivedFrames();
    local->ClearReceivedFrames();
    r = RunInProcess({"-p", url, "-p", "COM9", "--fast", "export", dir + "/backup-{port}.txt"},
                     NetworkTiming());
    EXPECT_EQ(r.exit, 0) << r.err;
    const std::string net =
        ReadFileBytes(dir + "/backup-127.0.0.1-" + std::to_string(remote.server.Port()) + ".txt");
    EXPECT_FALSE(net.empty());
    EXPECT_EQ(net, ReadFileBytes(dir + "/backup-COM9.txt"));
    EXPECT_EQ(remote.module->ReceivedFrames(), local->ReceivedFrames());

    // The file back into the emptied remote module: every slot as it was.
    remote.module->ClearSlots();
    r = RunInProcess({"-p", url, "--fast", "import", dir + "/backup-COM9.txt"}, NetworkTiming());
    EXPECT_EQ(r.exit, 0) << r.err;
    for (uint16_t slot = 1; slot <= 448; ++slot) {
        ASSERT_EQ(remote.module->Slot(slot), local->Slot(slot)) << slot;
    }
}

TEST_F(NetworkPorts, ANamedNetworkPortIsListedAndTakenLikeAnyOther) {
    const std::string config = dir + "/config";
    std::filesystem::create_directories(config + "/lumaret");
    WriteFileBytes(config + "/lumaret/ports.conf", "COM50 = " + remote.server.Url() + "\n");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const CliResult ports = RunInProcess({"ports"});
    const CliResult version = RunInProcess({"-p", "COM50", "version"});
    unsetenv("XDG_CONFIG_HOME");
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
    const std::string backup = dir + "/backup.txt";
    WriteFileBytes(backup, "0001,0A\r");
    std::thread cut([this] {
        remote.module->WaitForFrames(40, std::chrono::seconds(20));
        remote.server.Kill();
    });
    remote.module->ClearReceivedFrames();
    r = RunInProcess({"-p", remote.server.Url(), "--fast", "export", backup}, NetworkTiming());
    cut.join();
    EXPECT_EQ(r.exit, 4) << r.err;
    EXPECT_NE(r.err.find("the server closed the connection"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(backup), "0001,0A\r");
    EXPECT_TRUE(FileExists(backup + ".partial"));
}

} // namespace
