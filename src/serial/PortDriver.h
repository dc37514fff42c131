#pragma once

#include "SerialDriver.h"

#include <memory>

class NetworkDriver;
class TermiosDriver;

// The driver of a COM name, chosen as the port opens: the local termios
// driver for a device, the network driver for a port a names file (or the
// command line) puts at rfc2217://HOST:PORT. Everything else goes to the
// driver of the last open, the local one before any.
class PortDriver final : public ISerialDriver {
public:
    PortDriver();
    ~PortDriver() override;
    PortDriver(const PortDriver&) = delete;
    PortDriver& operator=(const PortDriver&) = delete;

    bool OpenDevice(uint8_t port) override;
    void CloseDevice() override { m_active->CloseDevice(); }
    bool SetState(const Dcb& dcb) override { return m_active->SetState(dcb); }
    bool SetTimeouts(const CommTimeouts& t) override { return m_active->SetTimeouts(t); }
    bool SetupQueues(uint32_t in, uint32_t out) override { return m_active->SetupQueues(in, out); }
    bool EscapeFunction(uint32_t code) override { return m_active->EscapeFunction(code); }
    bool Purge(uint32_t flags) override { return m_active->Purge(flags); }
    bool RaiseSignal(LinkSignal s) override { return m_active->RaiseSignal(s); }
    bool LowerSignal(LinkSignal s) override { return m_active->LowerSignal(s); }
    void Pause(uint32_t ms) override { m_active->Pause(ms); }
    TransferResult ReadUntil(uint8_t* buffer, uint32_t n, uint32_t ms) override {
        return m_active->ReadUntil(buffer, n, ms);
    }
    TransferResult WriteUntil(const uint8_t* buffer, uint32_t n, uint32_t ms) override {
        return m_active->WriteUntil(buffer, n, ms);
    }
    TransferResult ReadSome(uint8_t* buffer, uint32_t n, const Deadline& by) override {
        return m_active->ReadSome(buffer, n, by);
    }
    TransferEnd WaitSignals(uint32_t ms) override { return m_active->WaitSignals(ms); }
    TransferEnd WaitEvent(uint32_t mask, char evtChar, uint32_t ms, uint32_t& events) override {
        return m_active->WaitEvent(mask, evtChar, ms, events);
    }
    bool ClearErrors(uint32_t& errors, ComStat& stat) override {
        return m_active->ClearErrors(errors, stat);
    }
    bool GetModemStatus(uint32_t& status) override { return m_active->GetModemStatus(status); }
    TransferResult Read(uint8_t* buffer, uint32_t n) override { return m_active->Read(buffer, n); }
    TransferResult Write(const uint8_t* buffer, uint32_t n) override {
        return m_active->Write(buffer, n);
    }
    std::string FailureReason() const override { return m_active->FailureReason(); }
    std::vector<std::string> TakeNotes() override { return m_active->TakeNotes(); }

private:
    std::unique_ptr<TermiosDriver> m_local;
    std::unique_ptr<NetworkDriver> m_network;
    ISerialDriver* m_active;
};
