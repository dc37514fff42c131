#include "SerialLink.h"

#include "Dcb.h"
#include "SerialDriver.h"
#include "TermiosDriver.h"

namespace {
constexpr uint32_t CLOSE_PAUSE_MS = 1000;
constexpr uint32_t QUEUE_SIZE = 1024;
} // namespace

class CSerialLink::TransferGuard {
public:
    explicit TransferGuard(CSerialLink& link) : m_link(link) {
        std::lock_guard lock(link.m_stateMutex);
        m_bHeld = link.m_bOpen;
        if (m_bHeld)
            ++link.m_nTransfers;
    }
    ~TransferGuard() {
        if (!m_bHeld)
            return;
        std::lock_guard lock(m_link.m_stateMutex);
        if (--m_link.m_nTransfers == 0)
            m_link.m_transfersDone.notify_all();
    }
    TransferGuard(const TransferGuard&) = delete;
    TransferGuard& operator=(const TransferGuard&) = delete;
    explicit operator bool() const { return m_bHeld; }

private:
    CSerialLink& m_link;
    bool m_bHeld = false;
};

CSerialLink::CSerialLink() : CSerialLink(std::make_unique<TermiosDriver>()) {}

CSerialLink::CSerialLink(std::unique_ptr<ISerialDriver> driver) : m_driver(std::move(driver)) {}

CSerialLink::~CSerialLink() {
    if (IsOpen())
        CloseSteps();
}

bool CSerialLink::IsOpen() const {
    std::lock_guard lock(m_stateMutex);
    return m_bOpen;
}

bool CSerialLink::Open(uint8_t port, uint32_t baudRate, char parity, uint8_t byteSize,
                       uint8_t stopBits) {
    if (port == 0 || baudRate == 0 || byteSize == 0)
        return false;
    if (!IsParityLetter(parity))
        return false;
    if (stopBits > 2)
        return false;

    if (IsOpen()) {
        // Opening the open port again would be refused by its own exclusive
        // hold; keep it instead.
        if (port == m_settings.port)
            return true;
        CloseSteps();
    }

    m_settings.port = port;
    m_settings.baudRate = baudRate;
    m_settings.parity = parity;
    m_settings.byteSize = byteSize;
    m_settings.stopBits = stopBits;

    if (!m_driver->OpenDevice(port))
        return false;
    {
        std::lock_guard lock(m_stateMutex);
        m_bOpen = true;
    }
    // What the driver makes of these shows later, as failed transfers.
    ApplySettings();
    m_driver->SetupQueues(QUEUE_SIZE, QUEUE_SIZE);
    m_driver->EscapeFunction(SETDTR);
    return true;
}

void CSerialLink::ApplySettings() {
    if (!IsOpen())
        return;
    m_driver->SetState(BuildDcb(m_settings));
    m_driver->SetTimeouts(m_settings.timeouts);
}

void CSerialLink::Close() {
    if (!IsOpen())
        return;
    CloseSteps();
}

void CSerialLink::CloseSteps() {
    m_driver->RaiseSignal(LinkSignal::Closing);
    m_driver->Pause(CLOSE_PAUSE_MS);
    {
        // The closing signal stays up until every transfer has let go.
        std::unique_lock lock(m_stateMutex);
        m_transfersDone.wait(lock, [this] { return m_nTransfers == 0; });
        m_bOpen = false;
    }
    m_driver->LowerSignal(LinkSignal::Closing);
    if (m_settings.dtrControl == 1)
        m_driver->EscapeFunction(CLRDTR);
    m_driver->CloseDevice();
}

bool CSerialLink::PurgeInput() {
    TransferGuard guard(*this);
    if (!guard)
        return false;
    return m_driver->Purge(PURGE_RXABORT | PURGE_RXCLEAR);
}

bool CSerialLink::Write(const uint8_t* buffer, uint32_t n) {
    if (buffer == nullptr || n == 0)
        return false;
    TransferGuard guard(*this);
    if (!guard)
        return false;
    const TransferResult r = m_driver->Write(buffer, n);
    if (r.end == TransferEnd::Abort)
        m_driver->LowerSignal(LinkSignal::Abort);
    return r.count == n;
}

uint32_t CSerialLink::Read(uint8_t* buffer, uint32_t n) {
    if (buffer == nullptr || n == 0)
        return 0;
    TransferGuard guard(*this);
    if (!guard)
        return 0;
    // Whatever ended it, the bytes that came are the result; abort stays raised.
    return m_driver->Read(buffer, n).count;
}

bool CSerialLink::Abort() {
    return m_driver->RaiseSignal(LinkSignal::Abort);
}

bool CSerialLink::ResetAbort() {
    return m_driver->LowerSignal(LinkSignal::Abort);
}

bool CSerialLink::SetTimeouts(const CommTimeouts& timeouts) {
    if (timeouts == m_settings.timeouts)
        return true;
    m_settings.timeouts = timeouts;
    if (!IsOpen())
        return false;
    return m_driver->SetTimeouts(timeouts);
}
