#include "Dcb.h"
#include "FakeSerialDriver.h"
#include "SerialLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

namespace {

using Log = std::vector<std::string>;

struct Fixture {
    Log log;
    FakeSerialDriver* fake = nullptr;
    std::unique_ptr<CSerialLink> link;
    Fixture() {
        auto d = std::make_unique<FakeSerialDriver>(&log);
        fake = d.get();
        link = std::make_unique<CSerialLink>(std::move(d));
    }
};

struct OpenArgs {
    uint8_t port;
    uint32_t baud;
    char parity;
    uint8_t byteSize;
    uint8_t stopBits;
    bool accepted;
};

TEST(SerialLinkOpen, RefusedArgumentsChangeNothing) {
    const OpenArgs cases[] = {
        {0, 9600, 'N', 8, 0, false}, {1, 0, 'N', 8, 0, false},    {1, 9600, 'N', 0, 0, false},
        {1, 9600, 'X', 8, 0, false}, {1, 9600, 'N', 8, 3, false}, {1, 9600, 'N', 8, 255, false},
        {3, 4800, 'n', 7, 0, true},  {3, 4800, 'e', 7, 1, true},  {3, 4800, 'o', 7, 2, true},
        {3, 4800, 'm', 7, 0, true},  {3, 4800, 's', 7, 0, true},  {3, 4800, 'E', 7, 0, true},
    };
    for (const OpenArgs& c : cases) {
        Fixture f;
        const SerialSettings before = f.link->Settings();
        EXPECT_EQ(f.link->Open(c.port, c.baud, c.parity, c.byteSize, c.stopBits), c.accepted)
            << int(c.port) << c.parity << int(c.stopBits);
        if (!c.accepted) {
            EXPECT_TRUE(f.log.empty());
            EXPECT_EQ(f.link->Settings().port, before.port);
            EXPECT_EQ(f.link->Settings().baudRate, before.baudRate);
            EXPECT_EQ(f.link->Settings().parity, before.parity);
            EXPECT_EQ(f.link->Settings().byteSize, before.byteSize);
            EXPECT_EQ(f.link->Settings().stopBits, before.stopBits);
        } else {
            EXPECT_EQ(f.link->Settings().parity, c.parity);
            EXPECT_EQ(f.link->Settings().stopBits, c.stopBits);
        }
    }
}

TEST(SerialLinkOpen, StepsAndDefaultDcb) {
    Fixture f;
    ASSERT_TRUE(f.link->Open(12, 9600, 'N', 8, 0));
    EXPECT_EQ(f.log, (Log{"open 12", "state", "timeouts", "queues 1024 1024", "escape 5"}));
    const Dcb& d = f.fake->lastDcb;
    EXPECT_EQ(d.DCBlength, 28u);
    EXPECT_EQ(d.BaudRate, 9600u);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.Parity, 0);
    EXPECT_EQ(d.StopBits, 0);
    EXPECT_EQ(d.flags, 0x0003u);
    EXPECT_EQ(d.XonChar, 0x11);
    EXPECT_EQ(d.XoffChar, 0x13);
    EXPECT_EQ(d.XonLim, 0);
    EXPECT_EQ(d.XoffLim, 0);
    EXPECT_EQ(d.ErrorChar, 0);
    EXPECT_EQ(d.EofChar, 0);
    EXPECT_EQ(d.EvtChar, 0);
    EXPECT_EQ(f.link->Settings().timeouts, (CommTimeouts{100, 10, 100, 10, 100}));
}

TEST(SerialLinkDcb, ParityCodesAndFlags) {
    const std::pair<char, uint8_t> parities[] = {{'S', 4}, {'M', 3}, {'E', 2}, {'O', 1}, {'N', 0}};
    for (auto [letter, code] : parities) {
        SerialSettings s;
        s.parity = letter;
        EXPECT_EQ(BuildDcb(s).Parity, code) << letter;
    }
    SerialSettings s;
    s.rtsControl = 2;
    s.outxCtsFlow = 1;
    EXPECT_EQ(BuildDcb(s).flags, 0x2007u);
    s.evtMask |= EV_RXFLAG;
    EXPECT_EQ(BuildDcb(s).EvtChar, 10);
}

TEST(SerialLinkClose, StepsInOrderAndDtrOnlyWhenEnabled) {
    for (uint32_t dtr : {0u, 1u, 2u}) {
        Fixture f;
        ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
        f.link->SetDtrControl(dtr);
        f.log.clear();
        f.link->Close();
        Log expected{"raise closing", "pause 1000", "lower closing"};
        if (dtr == 1) {
            expected.push_back("escape 6");
        }
        expected.push_back("close");
        EXPECT_EQ(f.log, expected) << dtr;
        EXPECT_FALSE(f.link->IsOpen());
        f.log.clear();
        f.link->Close();
        EXPECT_TRUE(f.log.empty()) << "closing a closed port does nothing";
    }
    Fixture f;
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    f.log.clear();
    f.link->CloseWithoutPause();
    EXPECT_EQ(f.log, (Log{"raise closing", "lower closing", "close"}));
    EXPECT_FALSE(f.link->IsOpen());
}

TEST(SerialLinkLifecycle, IsOpenAndPortSwitching) {
    Fixture f;
    EXPECT_FALSE(f.link->IsOpen());
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    EXPECT_TRUE(f.link->IsOpen());

    // The same port again keeps the open one: no close, no second open.
    f.log.clear();
    EXPECT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    EXPECT_TRUE(f.link->IsOpen());
    for (const auto& step : f.log) {
        EXPECT_NE(step, "close");
        EXPECT_NE(step.rfind("open", 0), 0u);
    }

    // A failed open of another port closes the old one first.
    f.fake->openResult = false;
    f.log.clear();
    EXPECT_FALSE(f.link->Open(2, 9600, 'N', 8, 0));
    EXPECT_FALSE(f.link->IsOpen());
    EXPECT_EQ(f.log, (Log{"raise closing", "pause 1000", "lower closing", "close", "open 2"}));
    EXPECT_EQ(f.link->Settings().port, 2);
}

TEST(SerialLinkTransfers, ClosedOrBadArgumentsTouchNothing) {
    Fixture f;
    uint8_t buf[8] = {};
    EXPECT_EQ(f.link->Read(buf, 8), 0u);
    EXPECT_FALSE(f.link->Write(buf, 8));
    EXPECT_FALSE(f.link->PurgeInput());
    EXPECT_TRUE(f.log.empty());
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    f.log.clear();
    EXPECT_EQ(f.link->Read(nullptr, 8), 0u);
    EXPECT_EQ(f.link->Read(buf, 0), 0u);
    EXPECT_FALSE(f.link->Write(nullptr, 8));
    EXPECT_FALSE(f.link->Write(buf, 0));
    EXPECT_TRUE(f.log.empty());
    EXPECT_TRUE(f.link->PurgeInput());
    EXPECT_EQ(f.log, (Log{"purge 10"}));
}

TEST(SerialLinkTimeouts, SameValuesTouchNothing) {
    Fixture f;
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    f.log.clear();
    EXPECT_TRUE(f.link->SetTimeouts(CommTimeouts{}));
    EXPECT_TRUE(f.log.empty());
    EXPECT_TRUE(f.link->SetTimeouts(CommTimeouts{50, 1, 20, 1, 20}));
    EXPECT_EQ(f.log, (Log{"timeouts"}));
    f.link->Close();
    EXPECT_FALSE(f.link->SetTimeouts(CommTimeouts{60, 1, 20, 1, 20}));
    EXPECT_EQ(f.link->Settings().timeouts.ReadIntervalTimeout, 60u);
}

TEST(SerialLinkSetters, RangeChecksKeepTheOldValue) {
    Fixture f;
    f.link->SetParity('e');
    f.link->SetParity('x');
    EXPECT_EQ(f.link->GetParity(), 'e');
    f.link->SetStopBits(2);
    f.link->SetStopBits(3);
    EXPECT_EQ(f.link->GetStopBits(), 2);
    f.link->SetDtrControl(2);
    f.link->SetDtrControl(3);
    EXPECT_EQ(f.link->GetDtrControl(), 2u);
    f.link->SetRtsControl(3);
    f.link->SetRtsControl(4);
    EXPECT_EQ(f.link->GetRtsControl(), 3u);
    f.link->SetXonLim(0xFFFF);
    EXPECT_EQ(f.link->GetXonLim(), 0xFFFF);
    EXPECT_TRUE(f.log.empty()) << "setters only store";
}

TEST(SerialLinkSetters, FlowControlBothWays) {
    Fixture f;
    f.link->SetDtrControl(1);
    f.link->SetOutxDsrFlow(1);
    f.link->SetFlowControl(1);
    EXPECT_EQ(f.link->GetDtrControl(), 0u);
    EXPECT_EQ(f.link->GetOutxDsrFlow(), 0u);
    EXPECT_EQ(f.link->GetRtsControl(), 2u);
    EXPECT_EQ(f.link->GetOutxCtsFlow(), 1u);
    EXPECT_EQ(f.link->GetInX(), 1u);
    EXPECT_EQ(f.link->GetOutX(), 1u);
    EXPECT_EQ(BuildDcb(f.link->Settings()).flags, 0x2307u);
    f.link->SetFlowControl(0);
    EXPECT_EQ(f.link->GetRtsControl(), 0u);
    EXPECT_EQ(f.link->GetOutxCtsFlow(), 0u);
    EXPECT_EQ(f.link->GetInX(), 0u);
    EXPECT_EQ(f.link->GetOutX(), 0u);
}

TEST(SerialLinkSignals, LineCallsWhileClosedAndOpen) {
    Fixture f;
    EXPECT_FALSE(f.link->PurgeOutput());
    EXPECT_FALSE(f.link->SetBreak());
    EXPECT_FALSE(f.link->SetDtr(1));
    EXPECT_FALSE(f.link->EscapeFunction(42));
    EXPECT_TRUE(f.log.empty());
    EXPECT_EQ(f.link->InterruptTransfers(250), 0u);
    EXPECT_EQ(f.log, (Log{"raise closing", "pause 250", "lower closing"}));
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    f.log.clear();
    EXPECT_TRUE(f.link->PurgeOutput());
    EXPECT_TRUE(f.link->SetBreak());
    EXPECT_TRUE(f.link->ClearBreak());
    EXPECT_TRUE(f.link->SetDtr(7));
    EXPECT_TRUE(f.link->SetDtr(0));
    EXPECT_TRUE(f.link->SetRts(1));
    EXPECT_TRUE(f.link->SetRts(0));
    EXPECT_TRUE(f.link->EscapeFunction(42));
    EXPECT_EQ(f.log, (Log{"purge 5", "escape 8", "escape 9", "escape 5", "escape 6", "escape 3",
                          "escape 4", "escape 42"}));
    EXPECT_TRUE(f.link->IsOpen()) << "interrupting leaves the port open";
}

TEST(SerialLinkErrorText, SystemTextOrEmpty) {
    std::string text;
    const uint32_t length = CSerialLink::GetSystemErrorText(ENOENT, text);
    EXPECT_EQ(length, text.size() + 1);
    EXPECT_EQ(text, "No such file or directory");
    EXPECT_EQ(CSerialLink::GetSystemErrorText(123456, text), 1u);
    EXPECT_TRUE(text.empty());
}

TEST(SerialLinkStatus, ModemBitsEachAlone) {
    Fixture f;
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    struct Case {
        uint32_t bit;
        uint32_t (CSerialLink::*query)();
    };
    const Case cases[] = {{MS_CTS_ON, &CSerialLink::IsCtsOn},
                          {MS_DSR_ON, &CSerialLink::IsDsrOn},
                          {MS_RING_ON, &CSerialLink::IsRingOn},
                          {MS_RLSD_ON, &CSerialLink::IsRlsdOn}};
    for (const Case& c : cases) {
        f.fake->modemStatus = 0xF0 & ~c.bit;
        EXPECT_EQ((f.link.get()->*c.query)(), 0u) << c.bit;
        f.fake->modemStatus = c.bit;
        EXPECT_EQ((f.link.get()->*c.query)(), c.bit) << c.bit;
        EXPECT_EQ(f.link->GetModemStatus(), c.bit);
    }
    f.fake->queryResult = false;
    EXPECT_EQ(f.link->GetModemStatus(), 0u);
    EXPECT_EQ(f.link->IsCtsOn(), 0u);
}

TEST(SerialLinkStatus, ErrorsAndQueues) {
    Fixture f;
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    f.fake->errors = CE_BREAK | CE_FRAME;
    f.fake->stat.cbInQue = 7;
    f.fake->stat.cbOutQue = 3;
    uint32_t errors = 0;
    ComStat stat;
    ASSERT_TRUE(f.link->ClearErrors(errors, stat));
    EXPECT_EQ(errors, CE_BREAK | CE_FRAME);
    EXPECT_EQ(stat.cbInQue, 7u);
    EXPECT_EQ(stat.cbOutQue, 3u);
    EXPECT_EQ(f.link->GetInputCount(), 7u);

    f.fake->errors = CE_OVERRUN | CE_BREAK;
    EXPECT_EQ(f.link->BreakDetected(), CE_BREAK);
    f.fake->errors = CE_OVERRUN;
    EXPECT_EQ(f.link->BreakDetected(), 0u);

    f.fake->queryResult = false;
    f.fake->errors = CE_BREAK;
    EXPECT_EQ(f.link->BreakDetected(), 0u);
    EXPECT_EQ(f.link->GetInputCount(), 0u);
}

TEST(SerialLinkStatus, ClosedGivesZeroWithoutTouchingTheDriver) {
    Fixture f;
    f.fake->errors = CE_BREAK;
    f.fake->stat.cbInQue = 5;
    f.fake->modemStatus = 0xF0;
    uint32_t errors = 1;
    ComStat stat;
    stat.cbInQue = 9;
    EXPECT_FALSE(f.link->ClearErrors(errors, stat));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.cbInQue, 0u);
    EXPECT_EQ(f.link->BreakDetected(), 0u);
    EXPECT_EQ(f.link->GetInputCount(), 0u);
    EXPECT_EQ(f.link->GetModemStatus(), 0u);
    EXPECT_EQ(f.link->IsRlsdOn(), 0u);
    EXPECT_FALSE(f.link->CancelPending());
    EXPECT_TRUE(f.log.empty());
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    EXPECT_TRUE(f.link->CancelPending());
}

TEST(SerialLinkDeadlines, BadArgumentsAndClosedPortGiveZero) {
    Fixture f;
    uint8_t buf[4];
    auto calls = [&](CSerialLink& l) {
        return std::vector<uint32_t>{l.ReadTimed(nullptr, 4, 100),   l.ReadTimed(buf, 0, 100),
                                     l.ReadTimed(buf, 4, 0),         l.ReadWithin(nullptr, 4, 100),
                                     l.ReadWithin(buf, 0, 100),      l.ReadWithin(buf, 4, 0),
                                     l.ReadByte(nullptr, 100),       l.ReadByte(buf, 0),
                                     l.WriteWithin(nullptr, 4, 100), l.WriteWithin(buf, 0, 100),
                                     l.WriteWithin(buf, 4, 0),       l.WriteByte(1, 0),
                                     l.ReadQueued(nullptr, 4),       l.ReadQueued(buf, 0)};
    };
    f.fake->input = "abcd";
    f.fake->stat.cbInQue = 4;
    for (uint32_t r : calls(*f.link)) {
        EXPECT_EQ(r, 0u);
    }
    EXPECT_TRUE(f.log.empty());
    // Closed, good arguments: still nothing reaches the driver.
    EXPECT_EQ(f.link->ReadTimed(buf, 4, 100), 0u);
    EXPECT_EQ(f.link->ReadWithin(buf, 4, 100), 0u);
    EXPECT_EQ(f.link->ReadByte(buf, 100), 0u);
    EXPECT_FALSE(f.link->WriteWithin(buf, 4, 100));
    EXPECT_FALSE(f.link->WriteByte(1, 100));
    EXPECT_EQ(f.link->ReadQueued(buf, 4), 0u);
    EXPECT_TRUE(f.log.empty());
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    f.log.clear();
    for (uint32_t r : calls(*f.link)) {
        EXPECT_EQ(r, 0u);
    }
    EXPECT_TRUE(f.log.empty());
}

TEST(SerialLinkDeadlines, PumpRunsBetweenAttemptsOnlyForReadWithin) {
    Fixture f;
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    int pumped = 0;
    f.link->SetMessagePump([&] { ++pumped; });
    uint8_t buf[8] = {};
    f.fake->input = "abcdef";
    f.log.clear();
    EXPECT_EQ(f.link->ReadWithin(buf, 3, 5000), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "abc");
    EXPECT_EQ(pumped, 2); // between the three one-byte attempts, not after the last
    ASSERT_EQ(f.log.size(), 3u);
    EXPECT_EQ(f.log[0], "read 3 within 20"); // short slices so the pump keeps running
    EXPECT_EQ(f.log[2], "read 1 within 20");

    f.log.clear();
    EXPECT_EQ(f.link->ReadTimed(buf, 3, 5000), 3u);
    EXPECT_EQ(pumped, 2);
    EXPECT_EQ(f.log[0].rfind("read 3 within ", 0), 0u);
    EXPECT_GT(std::stoi(f.log[0].substr(14)), 4000); // the whole time left

    f.log.clear();
    f.fake->input = "xyz";
    EXPECT_EQ(f.link->ReadByte(buf, 5000), 1u);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(f.log.size(), 1u);
}

TEST(SerialLinkDeadlines, SignalEndsTheLoopAndOnlyWritesLowerAbort) {
    const TransferEnd ends[] = {TransferEnd::Abort, TransferEnd::Closing, TransferEnd::Failed};
    for (TransferEnd end : ends) {
        Fixture f;
        ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
        f.fake->input = "abcdef";
        f.fake->readEnd = end;
        f.fake->writeEnd = end;
        f.fake->writeLimit = 2;
        uint8_t buf[8];
        f.log.clear();
        EXPECT_EQ(f.link->ReadTimed(buf, 6, 5000), 1u); // what came is counted
        ASSERT_EQ(f.log.size(), 1u);
        f.log.clear();
        EXPECT_FALSE(f.link->WriteWithin(buf, 4, 300));
        const bool lowered = std::find(f.log.begin(), f.log.end(), "lower abort") != f.log.end();
        EXPECT_EQ(lowered, end == TransferEnd::Abort);
        EXPECT_EQ(f.log[0], "write 4 within 300");
    }
    Fixture f;
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    EXPECT_TRUE(f.link->WriteByte(7, 50));
    EXPECT_EQ(f.log.back(), "write 1 within 50");
}

TEST(SerialLinkDeadlines, QueuedReadsStayWithinTheBuffer) {
    Fixture f;
    uint8_t buf[4];
    // The wait happens even while closed; the read then does not.
    EXPECT_EQ(f.link->ReadQueuedAfter(buf, 4, 50), 0u);
    EXPECT_EQ(f.log, (Log{"wait signals 50"}));
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    f.fake->stat.cbInQue = 10;
    f.log.clear();
    f.link->ReadQueued(buf, 4);
    EXPECT_EQ(f.log, (Log{"clear errors", "read 4"}));
    f.fake->stat.cbInQue = 3;
    f.log.clear();
    f.link->ReadQueuedAfter(buf, 4, 50);
    EXPECT_EQ(f.log, (Log{"wait signals 50", "clear errors", "read 3"}));
    for (TransferEnd end : {TransferEnd::Abort, TransferEnd::Closing, TransferEnd::Failed}) {
        f.fake->signalEnd = end;
        f.log.clear();
        EXPECT_EQ(f.link->ReadQueuedAfter(buf, 4, 50), 0u);
        EXPECT_EQ(f.log, (Log{"wait signals 50"}));
    }
    f.fake->stat.cbInQue = 0;
    f.log.clear();
    EXPECT_EQ(f.link->ReadQueued(buf, 4), 0u);
    EXPECT_EQ(f.log, (Log{"clear errors"}));
}

TEST(SerialLinkEvents, WaitOutcomes) {
    Fixture f;
    EXPECT_EQ(f.link->WaitForEvent(EV_RXCHAR, 100), 0u);
    EXPECT_FALSE(f.link->WaitForChar('Z', 100));
    EXPECT_TRUE(f.log.empty());
    EXPECT_EQ(f.link->GetEvtChar(), '\n'); // the default, untouched while closed
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    f.log.clear();
    EXPECT_EQ(f.link->WaitForEvent(0, 100), 0u);
    EXPECT_TRUE(f.log.empty());

    struct Case {
        TransferEnd end;
        uint32_t result;
        bool lowersAbort;
    };
    const Case cases[] = {{TransferEnd::Complete, EV_CTS | EV_RXCHAR, false},
                          {TransferEnd::Abort, 0, true},
                          {TransferEnd::Closing, 0, false},
                          {TransferEnd::Failed, 0, false}};
    for (const Case& c : cases) {
        f.fake->events = EV_CTS | EV_RXCHAR | EV_BREAK;
        f.fake->eventEnd = c.end;
        f.log.clear();
        EXPECT_EQ(f.link->WaitForEvent(EV_CTS | EV_RXCHAR, 300), c.result);
        EXPECT_EQ(f.log[0], "wait event 9 char 10 within 300");
        EXPECT_EQ(f.log.size(), c.lowersAbort ? 2u : 1u);
        if (c.lowersAbort) {
            EXPECT_EQ(f.log[1], "lower abort");
        }
    }
}

TEST(SerialLinkEvents, WaitForCharHandsItsCharacterToTheWait) {
    Fixture f;
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    const uint32_t mask = f.link->Settings().evtMask;
    ASSERT_EQ(mask & EV_RXFLAG, 0u);
    for (bool seen : {true, false}) {
        f.fake->events = seen ? EV_RXFLAG : 0;
        f.log.clear();
        EXPECT_EQ(f.link->WaitForChar('Z', 250), seen);
        EXPECT_EQ(f.link->GetEvtChar(), 'Z');
        EXPECT_EQ(f.log, (Log{"state", "timeouts", "wait event 2 char 90 within 250"}));
    }
    EXPECT_EQ(f.link->Settings().evtMask, mask);
}

TEST(SerialLinkEvents, WaitAndReadNeedsInputFirst) {
    Fixture f;
    uint8_t buf[4];
    EXPECT_EQ(f.link->WaitAndRead(buf, 4, 100), 0u);
    ASSERT_TRUE(f.link->Open(1, 9600, 'N', 8, 0));
    f.fake->input = "abcd";
    f.fake->readChunk = 4;
    f.log.clear();
    EXPECT_EQ(f.link->WaitAndRead(nullptr, 4, 100), 0u);
    EXPECT_EQ(f.link->WaitAndRead(buf, 4, 0), 0u);
    EXPECT_TRUE(f.log.empty());
    EXPECT_EQ(f.link->WaitAndRead(buf, 4, 100), 0u); // no EV_RXCHAR came
    EXPECT_EQ(f.log, (Log{"wait event 1 char 10 within 100"}));
    f.fake->events = EV_RXCHAR;
    f.log.clear();
    EXPECT_EQ(f.link->WaitAndRead(buf, 0, 100), 0u);
    EXPECT_EQ(f.log.size(), 1u);
    EXPECT_EQ(f.link->WaitAndRead(buf, 4, 100), 4u);
    EXPECT_EQ(f.log.back(), "read 4 within 100");
}

} // namespace
