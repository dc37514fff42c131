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

    // Opens COM<port> exclusively with the given line format.
    bool Open(uint8_t port, uint32_t baudRate, char parity, uint8_t byteSize, uint8_t stopBits);
    void Close();
    bool IsOpen() const;
    void ApplySettings();

    bool PurgeInput();
    bool Write(const uint8_t* buffer, uint32_t n);
    uint32_t Read(uint8_t* buffer, uint32_t n);

    bool Abort();
    bool ResetAbort();

    // Stores the line time-outs and hands them to the open port at once.
    bool SetTimeouts(const CommTimeouts& timeouts);

    const SerialSettings& Settings() const { return m_settings; }

private:
    // Counts a transfer in while the port is open, so that Close can wait
    // for it before the descriptor goes.
    class Transfer;
    bool BeginTransfer();
    void EndTransfer();
    void CloseSteps(uint32_t pauseMs);

    std::unique_ptr<ISerialDriver> m_driver;
    SerialSettings m_settings;

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    bool m_open = false;
    int m_transfers = 0;
};
