#pragma once

#include "SerialDriver.h"

#include <algorithm>
#include <string>
#include <vector>

// Records every platform step as a short text and answers from its fields.
class FakeSerialDriver final : public ISerialDriver {
public:
    std::vector<std::string>* log;
    Dcb lastDcb;
    bool openResult = true;
    bool queryResult = true;
    uint32_t errors = 0;
    ComStat stat;
    uint32_t modemStatus = 0;
    // ReadUntil hands out `input`, at most readChunk bytes a call, and ends
    // with readEnd; WaitSignals and WriteUntil end with their own fields.
    std::string input;
    uint32_t readChunk = 1;
    TransferEnd readEnd = TransferEnd::Complete;
    uint32_t writeLimit = 0xFFFFFFFFu;
    TransferEnd writeEnd = TransferEnd::Complete;
    TransferEnd signalEnd = TransferEnd::Complete;
    uint32_t events = 0;
    TransferEnd eventEnd = TransferEnd::Complete;

    explicit FakeSerialDriver(std::vector<std::string>* sink) : log(sink) {}

    bool OpenDevice(uint8_t port) override {
        log->push_back("open " + std::to_string(port));
        return openResult;
    }
    void CloseDevice() override { log->push_back("close"); }
    bool SetState(const Dcb& dcb) override {
        lastDcb = dcb;
        log->push_back("state");
        return true;
    }
    bool SetTimeouts(const CommTimeouts&) override {
        log->push_back("timeouts");
        return true;
    }
    bool SetupQueues(uint32_t in, uint32_t out) override {
        log->push_back("queues " + std::to_string(in) + " " + std::to_string(out));
        return true;
    }
    bool EscapeFunction(uint32_t code) override {
        log->push_back("escape " + std::to_string(code));
        return true;
    }
    bool Purge(uint32_t flags) override {
        log->push_back("purge " + std::to_string(flags));
        return true;
    }
    bool RaiseSignal(LinkSignal s) override {
        log->push_back(s == LinkSignal::Abort ? "raise abort" : "raise closing");
        return true;
    }
    bool LowerSignal(LinkSignal s) override {
        log->push_back(s == LinkSignal::Abort ? "lower abort" : "lower closing");
        return true;
    }
    void Pause(uint32_t ms) override { log->push_back("pause " + std::to_string(ms)); }
    TransferResult ReadUntil(uint8_t* buffer, uint32_t n, uint32_t ms) override {
        log->push_back("read " + std::to_string(n) + " within " + std::to_string(ms));
        uint32_t count = std::min<uint32_t>({n, readChunk, uint32_t(input.size())});
        std::copy_n(input.begin(), count, buffer);
        input.erase(0, count);
        return {count, readEnd};
    }
    TransferResult WriteUntil(const uint8_t*, uint32_t n, uint32_t ms) override {
        log->push_back("write " + std::to_string(n) + " within " + std::to_string(ms));
        return {std::min(n, writeLimit), writeEnd};
    }
    TransferEnd WaitSignals(uint32_t ms) override {
        log->push_back("wait signals " + std::to_string(ms));
        return signalEnd;
    }
    TransferEnd WaitEvent(uint32_t mask, char c, uint32_t ms, uint32_t& e) override {
        log->push_back("wait event " + std::to_string(mask) + " char " + std::to_string(int(c)) +
                       " within " + std::to_string(ms));
        e = events & mask;
        return eventEnd;
    }
    bool ClearErrors(uint32_t& e, ComStat& s) override {
        log->push_back("clear errors");
        e = errors;
        s = stat;
        errors = 0;
        return queryResult;
    }
    bool GetModemStatus(uint32_t& s) override {
        log->push_back("modem status");
        s = modemStatus;
        return queryResult;
    }
    TransferResult Read(uint8_t*, uint32_t n) override {
        log->push_back("read " + std::to_string(n));
        return {0, TransferEnd::Complete};
    }
    TransferResult Write(const uint8_t*, uint32_t n) override {
        log->push_back("write " + std::to_string(n));
        return {n, TransferEnd::Complete};
    }
};
