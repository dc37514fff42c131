#pragma once

#include "SerialDriver.h"

#include <string>
#include <vector>

// A driver that hands every call to another one, Target(); a driver that
// stands in front of another (the one that chooses a port's driver, the one
// that traces) overrides only what it does differently.
class ForwardingDriver : public ISerialDriver {
public:
    bool OpenDevice(uint8_t port) override { return Target().OpenDevice(port); }
    void CloseDevice() override { Target().CloseDevice(); }
    bool SetState(const Dcb& dcb) override { return Target().SetState(dcb); }
    bool SetTimeouts(const CommTimeouts& t) override { return Target().SetTimeouts(t); }
    bool SetupQueues(uint32_t in, uint32_t out) override { return Target().SetupQueues(in, out); }
    bool EscapeFunction(uint32_t code) override { return Target().EscapeFunction(code); }
    bool Purge(uint32_t flags) override { return Target().Purge(flags); }
    bool RaiseSignal(LinkSignal s) override { return Target().RaiseSignal(s); }
    bool LowerSignal(LinkSignal s) override { return Target().LowerSignal(s); }
    void Pause(uint32_t ms) override { Target().Pause(ms); }
    TransferResult ReadUntil(uint8_t* buffer, uint32_t n, uint32_t ms) override {
        return Target().ReadUntil(buffer, n, ms);
    }
    TransferResult WriteUntil(const uint8_t* buffer, uint32_t n, uint32_t ms) override {
        return Target().WriteUntil(buffer, n, ms);
    }
    TransferResult ReadSome(uint8_t* buffer, uint32_t n, const Deadline& by) override {
        return Target().ReadSome(buffer, n, by);
    }
    TransferEnd WaitSignals(uint32_t ms) override { return Target().WaitSignals(ms); }
    uint32_t DrainInput() override { return Target().DrainInput(); }
    TransferEnd WaitEvent(uint32_t mask, char evtChar, uint32_t ms, uint32_t& events) override {
        return Target().WaitEvent(mask, evtChar, ms, events);
    }
    bool ClearErrors(uint32_t& errors, ComStat& stat) override {
        return Target().ClearErrors(errors, stat);
    }
    bool GetModemStatus(uint32_t& status) override { return Target().GetModemStatus(status); }
    TransferResult Read(uint8_t* buffer, uint32_t n) override { return Target().Read(buffer, n); }
    TransferResult Write(const uint8_t* buffer, uint32_t n) override {
        return Target().Write(buffer, n);
    }
    std::string FailureReason() const override { return Target().FailureReason(); }
    std::vector<std::string> TakeNotes() override { return Target().TakeNotes(); }

protected:
    virtual ISerialDriver& Target() const = 0;
};
