#pragma once

#include "ForwardingDriver.h"
#include "UucpLock.h"

#include <memory>

class NetworkDriver;
class TermiosDriver;

// The driver of a COM name, chosen as the port opens: the local termios
// driver for a device, the network driver for a port a names file (or the
// command line) puts at rfc2217://HOST:PORT. Everything else goes to the
// driver of the last open, the local one before any. A local device is held
// under a UUCP lock as well, so that ser2net, minicom and the like keep off
// it, and a live lock of theirs keeps this program off.
class PortDriver final : public ForwardingDriver {
public:
    PortDriver();
    ~PortDriver() override;
    PortDriver(const PortDriver&) = delete;
    PortDriver& operator=(const PortDriver&) = delete;

    bool OpenDevice(uint8_t port) override;
    void CloseDevice() override;
    // "COM9 is busy: minicom (process 4242) holds it" after an open that a
    // lock refused, else the driver's own reason.
    std::string FailureReason() const override;

private:
    ISerialDriver& Target() const override { return *m_active; }

    std::unique_ptr<TermiosDriver> m_local;
    std::unique_ptr<NetworkDriver> m_network;
    ISerialDriver* m_active;
    CUucpLock m_lock;
    std::string m_busy;
};
