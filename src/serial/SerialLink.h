#pragma once

#include "SerialSettings.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

class ISerialDriver;

// The program's serial-port object. Results only: counts or true/false, and
// every operation on a closed port gives 0 or false.
class CSerialLink {
public:
    CSerialLink(); // on the real termios driver
    explicit CSerialLink(std::unique_ptr<ISerialDriver> driver);
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;
    ~CSerialLink();

    // Opens COM<port> exclusively with the given line format. The port that is
    // already open stays open and gives true.
    bool Open(uint8_t port, uint32_t baudRate, char parity, uint8_t byteSize, uint8_t stopBits);
    // Raises the closing signal, pauses 1000 ms so transfers on other threads
    // end, waits for any still holding the port, then closes it.
    void Close();
    bool IsOpen() const;
    void ApplySettings();

    bool PurgeInput();
    bool Write(const uint8_t* buffer, uint32_t n);
    uint32_t Read(uint8_t* buffer, uint32_t n);

    bool Abort();
    bool ResetAbort();

    // Stores the time-outs and applies them at once while open; the same
    // values as stored change nothing and give true.
    bool SetTimeouts(const CommTimeouts& timeouts);

    const SerialSettings& Settings() const { return m_settings; }

private:
    // Counts a transfer in while the port is open, so Close never closes a
    // descriptor that a transfer on another thread still uses.
    class TransferGuard;
    void CloseSteps();

    std::unique_ptr<ISerialDriver> m_driver;
    SerialSettings m_settings;
    mutable std::mutex m_stateMutex;
    std::condition_variable m_transfersDone;
    bool m_bOpen = false;
    int m_nTransfers = 0;
};
