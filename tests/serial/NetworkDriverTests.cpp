// The network driver against a real ser2net that serves the simulated
// module's pseudo-terminal over RFC 2217, driven through CSerialLink and the
// protocol operations as the program drives a module on a local port.

#include "ExpectedBytes.h"
#include "LoopbackProxy.h"
#include "ModuleOperations.h"
#include "NetworkDriver.h"
#include "RuntimeDir.h"
#include "Ser2netServer.h"
#include "SerialLink.h"
#include "SimulatedModule.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <termios.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

bool HasNoteWith(const std::vector<std::string>& notes, const std::string& part) {
    for (const std::string& note : notes) {
        if (note.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// A link on a network driver; the driver stays reachable for its reason and notes.
struct NetworkLink {
    explicit NetworkLink(const std::string& url) {
        auto owned = std::make_unique<NetworkDriver>(*ParseNetworkTarget(url));
        driver = owned.get();
        link = std::make_unique<CSerialLink>(std::move(owned));
    }
    bool Open() { return link->Open(1, 9600, 'N', 8, 0); }

    NetworkDriver* driver = nullptr;
    std::unique_ptr<CSerialLink> link;
};

// The simulated module in-process, a ser2net serving its pseudo-terminal.
class NetworkLine : public ::testing::Test {
protected:
    void SetUp() override {
        if (Ser2netServer::Program().empty()) {
            GTEST_SKIP() << "ser2net is not installed";
        }
        ASSERT_TRUE(m_folder.Valid());
        SimFaults faults;
        faults.learnDelayMs = 50;
        m_module.SetFaults(faults);
        ASSERT_TRUE(m_module.Start());
    }
    void Serve(bool kickOldUser = false) {
        ASSERT_TRUE(m_server.Start(m_module.SlavePath(), m_folder.Path().string(), kickOldUser));
    }
    // Opens net and has the module answer once; the notes of the open are
    // taken, so that the test sees only its own.
    void OpenAndAsk(NetworkLink& net) {
        ASSERT_TRUE(net.Open()) << net.driver->Reason();
        ASSERT_TRUE(GetVersion(*net.link, m_timing).ok);
        net.driver->TakeNotes();
    }

    PrivateRuntimeDir m_folder{"network-line"};
    SimulatedModule m_module;
    Ser2netServer m_server;
    const ExchangeTiming& m_timing = FixedTiming();
};

// The exchanges reach the module byte for byte and come back whole; a purge
// and the abort signal act as on a local port.
TEST_F(NetworkLine, TheLineActsAsALocalOne) {
    Serve();
    const Bytes stored = CodePattern(40, 3);
    const Bytes written = CodePattern(60, 9);
    ASSERT_TRUE(m_module.SetSlot(0x69, stored));
    NetworkLink net(m_server.Url());
    ASSERT_TRUE(net.Open()) << net.driver->Reason();

    const VersionOutcome version = GetVersion(*net.link, m_timing);
    EXPECT_TRUE(version.ok);
    EXPECT_EQ(version.text, "102.003");
    const ExchangeReply read = ReadKey(*net.link, 0x69, m_timing);
    EXPECT_EQ(Bytes(read.bytes.begin(), read.bytes.begin() + read.count),
              SimulatedModule::CodeReply(stored));
    EXPECT_EQ(SendKey(*net.link, 0x69, 0x02, m_timing), SendOutcome::Ok);
    StartLearn(*net.link, 0x69);
    const LearnOutcome learn = AwaitLearnAnswer(*net.link, m_timing);
    EXPECT_EQ(learn.state, CLearnAnswer::State::Answered);
    EXPECT_EQ(learn.status, SimulatedModule::STATUS_OK);
    EXPECT_TRUE(ImportWriteLine(*net.link, 7, written.data(), uint32_t(written.size()), m_timing)
                    .Written());
    EXPECT_EQ(m_module.Slot(7), written);

    const std::vector<Bytes> expected{WORKED_GET_FRAME, WORKED_READ_FRAME, WORKED_SEND_FRAME,
                                      WORKED_LEARN_FRAME, ExpectedWriteFrame(7, written)};
    EXPECT_EQ(m_module.ReceivedFrames(), expected);

    // A reply nobody read is gone after a purge, the server's copy and ours.
    ASSERT_TRUE(net.link->Write(WORKED_GET_FRAME.data(), uint32_t(WORKED_GET_FRAME.size())));
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    for (uint32_t queued = 0; queued < 19 && Clock::now() < deadline;) {
        // The first byte wakes the wait; the rest follow at the line's pace.
        if (queued == 0) {
            net.link->WaitForEvent(EV_RXCHAR, 100);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        queued = net.link->GetInputCount();
    }
    ASSERT_EQ(net.link->GetInputCount(), 19u);
    EXPECT_TRUE(net.link->PurgeInput());
    EXPECT_EQ(net.link->GetInputCount(), 0u);
    // A version exchange reads up to 32 bytes: the stale reply would spoil it.
    EXPECT_TRUE(GetVersion(*net.link, m_timing).ok);

    // The abort signal ends a wait on the network at once, as on a local port.
    uint8_t buffer[16];
    std::thread aborter([&] { net.link->Abort(); });
    const auto start = Clock::now();
    EXPECT_EQ(net.link->ReadTimed(buffer, sizeof buffer, 3000), 0u);
    EXPECT_LT(MsSince(start), 200);
    aborter.join();
    EXPECT_TRUE(net.link->ResetAbort());
}

// A purge does not wait for the server, so a reply the server sent before it
// purged can still be on its way; it is dropped when the purge's answer,
// which follows it in the stream, comes in.
TEST_F(NetworkLine, AReplyStillOnItsWayIsDroppedByThePurgeThatFollowsIt) {
    Serve();
    LoopbackProxy longWay;
    ASSERT_TRUE(longWay.Start(m_server.Port(), std::chrono::milliseconds(60)));
    NetworkLink net(longWay.Url());
    ASSERT_NO_FATAL_FAILURE(OpenAndAsk(net));

    // The module answers at once; its reply is then 60 ms away.
    ASSERT_TRUE(net.link->Write(WORKED_GET_FRAME.data(), uint32_t(WORKED_GET_FRAME.size())));
    ASSERT_TRUE(m_module.WaitForFrames(2, std::chrono::seconds(2)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(net.link->GetInputCount(), 0u);
    const auto start = Clock::now();
    EXPECT_TRUE(net.link->PurgeInput());
    EXPECT_LT(MsSince(start), 30);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(net.link->GetInputCount(), 0u);
    EXPECT_TRUE(net.driver->TakeNotes().empty());
}

// The served device takes the line format the link asks for (a pseudo-
// terminal keeps 8 data bits and no parity whatever it is told, so those are
// judged by the server's answers: one that differs would leave a note).
// ser2net answers no modem-line or break request on a pseudo-terminal: each
// kind costs one wait bounded by the loopback's round trip (so the least
// wait) and a note, then goes out without waiting; a request the server does
// answer costs a round trip and leaves no note.
TEST_F(NetworkLine, RequestsReachTheServerOrEndAtTheirBound) {
    Serve();
    NetworkLink net(m_server.Url());
    ASSERT_TRUE(net.link->Open(1, 19200, 'E', 7, 2)) << net.driver->Reason();
    const int slave = open(m_module.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(slave, &tio), 0);
    close(slave);
    EXPECT_EQ(cfgetospeed(&tio), B19200);
    EXPECT_EQ(tio.c_cflag & CSTOPB, tcflag_t(CSTOPB));
    for (const std::string& note : net.driver->TakeNotes()) {
        EXPECT_EQ(note.find("the server set"), std::string::npos) << note;
    }

    const long bound = net.driver->AnswerWaitMs();
    EXPECT_LT(bound, long(NetworkDriver::ANSWER_WAIT_MS));
    for (auto [set, clear, name] :
         {std::tuple{SETRTS, CLRRTS, "RTS"}, std::tuple{SETBREAK, CLRBREAK, "the break"}}) {
        SCOPED_TRACE(name);
        auto start = Clock::now();
        EXPECT_TRUE(net.link->EscapeFunction(set));
        const long first = MsSince(start);
        const std::vector<std::string> notes = net.driver->TakeNotes();
        start = Clock::now();
        EXPECT_TRUE(net.link->EscapeFunction(clear));
        const long second = MsSince(start);
        if (first >= bound) {
            EXPECT_LT(first, bound + 250);
            EXPECT_TRUE(HasNoteWith(notes, std::string("did not answer the request for ") + name));
            EXPECT_LT(second, 100);
        } else {
            EXPECT_TRUE(notes.empty());
        }
    }
    // The line still works.
    EXPECT_TRUE(GetVersion(*net.link, m_timing).ok);
}

TEST(NetworkDriver, ConnectFailuresNameTheTargetAndWhy) {
    const uint16_t port = FreeLoopbackPort(); // nobody listens there
    ASSERT_NE(port, 0);
    struct Case {
        NetworkTarget target;
        const char* why; // gensio's words; empty: any
    };
    const Case cases[] = {{{"127.0.0.1", port}, "Connection refused"},
                          {{"::1", port}, "Connection refused"},
                          {{"no-such-host.invalid", 2217}, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.host);
        auto owned = std::make_unique<NetworkDriver>(c.target);
        NetworkDriver* driver = owned.get();
        CSerialLink link(std::move(owned));
        const auto start = Clock::now();
        EXPECT_FALSE(link.Open(1, 9600, 'N', 8, 0));
        EXPECT_LT(MsSince(start), 1000);
        const std::string prefix = "cannot connect to " + HostAndPort(c.target) + ": ";
        const std::string reason = driver->Reason();
        EXPECT_EQ(reason.substr(0, prefix.size()), prefix);
        EXPECT_GT(reason.size(), prefix.size());
        if (*c.why != 0) {
            EXPECT_EQ(reason, prefix + c.why);
        }
    }
}

// When the server goes, the next exchange fails at once rather than at its
// read's end, and the reason says why.
TEST_F(NetworkLine, ServerKilledMidUseEndsTheNextExchange) {
    Serve();
    NetworkLink net(m_server.Url());
    ASSERT_TRUE(net.Open()) << net.driver->Reason();
    ASSERT_TRUE(GetVersion(*net.link, m_timing).ok);
    m_server.Kill();
    const auto start = Clock::now();
    EXPECT_FALSE(GetVersion(*net.link, m_timing).ok);
    // The exchange's fixed pause, not its read of up to 420 ms on top.
    EXPECT_LT(MsSince(start), long(m_timing.getVersionPauseMs) + 250);
    EXPECT_EQ(net.driver->Reason(), "the server closed the connection");
}

// With kickolduser a second client takes the port over; the first one's
// next exchange fails with the reason.
TEST_F(NetworkLine, ASecondClientTakesThePortOver) {
    Serve(true);
    NetworkLink first(m_server.Url());
    ASSERT_TRUE(first.Open()) << first.driver->Reason();
    ASSERT_TRUE(GetVersion(*first.link, m_timing).ok);
    NetworkLink second(m_server.Url());
    ASSERT_TRUE(second.Open()) << second.driver->Reason();
    EXPECT_TRUE(GetVersion(*second.link, m_timing).ok);
    EXPECT_FALSE(GetVersion(*first.link, m_timing).ok);
    EXPECT_EQ(first.driver->Reason(), "the server closed the connection");
}

// A link through a proxy that stops carrying anything once the module has
// answered once.
class StalledNetworkLine : public NetworkLine {
protected:
    void SetUp() override {
        NetworkLine::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        Serve();
        ASSERT_TRUE(m_proxy.Start(m_server.Port()));
        m_net.emplace(m_proxy.Url());
        ASSERT_NO_FATAL_FAILURE(OpenAndAsk(*m_net));
        m_proxy.Stall();
    }

    LoopbackProxy m_proxy;
    std::optional<NetworkLink> m_net;
};

// A network that stops carrying anything: every transfer still ends at its
// own deadline, a purge at once, and the close is not held up by what the
// server never took.
TEST_F(StalledNetworkLine, EveryTransferEndsAtItsDeadline) {
    NetworkLink& net = *m_net;

    uint8_t buffer[19];
    auto start = Clock::now();
    EXPECT_EQ(net.link->Read(buffer, 19), 0u);
    long ms = MsSince(start);
    EXPECT_GE(ms, 10 * 19 + 100);
    EXPECT_LT(ms, 10 * 19 + 100 + 250);

    // A purge waits for nothing; the one after it, once the first has had
    // its time for an answer, says that none came.
    EXPECT_TRUE(net.link->Write(WORKED_GET_FRAME.data(), uint32_t(WORKED_GET_FRAME.size())));
    start = Clock::now();
    EXPECT_TRUE(net.link->PurgeInput());
    EXPECT_LT(MsSince(start), 50);
    EXPECT_TRUE(net.link->PurgeInput());
    EXPECT_FALSE(HasNoteWith(net.driver->TakeNotes(), "purge"));
    std::this_thread::sleep_for(std::chrono::milliseconds(NetworkDriver::ANSWER_WAIT_MS + 20));
    EXPECT_TRUE(net.link->PurgeInput());
    EXPECT_TRUE(HasNoteWith(net.driver->TakeNotes(), "did not answer the request for a purge"));

    // Writes fill what the kernel and gensio hold for the server, then end
    // at their deadline with the bytes that went.
    const std::vector<uint8_t> block(65536, 0x55);
    bool full = false;
    for (int i = 0; i < 400 && !full; ++i) {
        start = Clock::now();
        full = !net.link->WriteWithin(block.data(), uint32_t(block.size()), 20);
    }
    ASSERT_TRUE(full);
    ms = MsSince(start);
    EXPECT_GE(ms, 20);
    EXPECT_LT(ms, 20 + 150);

    // gensio would hold the close until the server took all that; it is
    // dropped after a bound instead, and gensio's memory let go of.
    start = Clock::now();
    net.link->Close(); // its own pause of 1 s, then the driver's close
    EXPECT_LT(MsSince(start), 1000 + long(GensioConnection::CLOSE_WAIT_MS) +
                                  long(GensioConnection::FREE_WAIT_MS) + 300);
}

// A purge left unanswered by the last exchange of a connection is still
// told, at the close.
TEST_F(StalledNetworkLine, APurgeUnansweredAtTheCloseIsTold) {
    NetworkLink& net = *m_net;
    EXPECT_TRUE(net.link->PurgeInput());
    EXPECT_FALSE(HasNoteWith(net.driver->TakeNotes(), "purge"));
    net.link->Close();
    EXPECT_TRUE(HasNoteWith(net.driver->TakeNotes(), "did not answer the request for a purge"));
}

} // namespace
