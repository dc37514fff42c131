#pragma once

#include "ForwardingDriver.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CConsole;

// A driver around the real one that sees every byte the link moves: it
// counts what the module sent (so a command can tell "no reply at all" from
// a reply it did not like) and, with --trace, puts every frame written and
// every reply read on standard error in hexadecimal, with a millisecond
// timestamp and the port. Everything else passes through unchanged, so the
// line sees exactly what it would see without it.
class CTracingDriver final : public ForwardingDriver {
public:
    // trace: where the lines go; nullptr traces nothing.
    CTracingDriver(std::unique_ptr<ISerialDriver> inner, std::string portName, CConsole* trace);

    uint64_t BytesRead() const { return m_bytesRead.load(); }
    // What the reads brought since the last frame written: 0 when the last
    // exchange got no reply at all.
    uint64_t BytesSinceWrite() const { return m_sinceWrite.load(); }

    // One trace line: "12:34:56.789 COM9 > 01 05 02 ...".
    static std::string TraceLine(const std::string& portName, char direction, const uint8_t* bytes,
                                 uint32_t count);

    bool OpenDevice(uint8_t port) override { return Noted(m_inner->OpenDevice(port)); }
    void CloseDevice() override {
        m_inner->CloseDevice();
        Noted(true);
    }
    bool SetState(const Dcb& dcb) override { return Noted(m_inner->SetState(dcb)); }
    bool EscapeFunction(uint32_t code) override { return Noted(m_inner->EscapeFunction(code)); }
    bool Purge(uint32_t flags) override { return Noted(m_inner->Purge(flags)); }
    TransferResult ReadUntil(uint8_t* buffer, uint32_t n, uint32_t ms) override;
    TransferResult WriteUntil(const uint8_t* buffer, uint32_t n, uint32_t ms) override;
    TransferResult ReadSome(uint8_t* buffer, uint32_t n, const Deadline& by) override {
        return Took(buffer, m_inner->ReadSome(buffer, n, by));
    }
    TransferResult Read(uint8_t* buffer, uint32_t n) override;
    TransferResult Write(const uint8_t* buffer, uint32_t n) override;

private:
    ISerialDriver& Target() const override { return *m_inner; }
    // With --trace, says what the driver noted besides the bytes ("COM9 note:
    // the server did not answer ..."); passes result on.
    bool Noted(bool result);
    TransferResult Took(const uint8_t* buffer, TransferResult r);
    TransferResult Gave(const uint8_t* buffer, TransferResult r);

    std::unique_ptr<ISerialDriver> m_inner;
    std::string m_portName;
    CConsole* m_trace;
    std::atomic<uint64_t> m_bytesRead{0};
    std::atomic<uint64_t> m_sinceWrite{0};
};
