#include "SerialLink.h"

#include "LinkTransfer.h"

#include "Deadline.h"

#include "Dcb.h"
#include "ReadLimits.h"
#include "SerialDriver.h"

#include <chrono>
#include <cstring>

namespace {

constexpr uint32_t CLOSE_PAUSE_MS = 1000;
constexpr uint32_t QUEUE_SIZE = 1024;
// With a message pump a read attempt waits at most this long, so that the
// pump runs while the line is quiet.
constexpr uint32_t PUMP_SLICE_MS = 20;

} // namespace

CSerialLink::CSerialLink(std::unique_ptr<ISerialDriver> driver) : m_driver(std::move(driver)) {}

CSerialLink::~CSerialLink() {
    Close();
}

bool CSerialLink::BeginTransfer() {
    std::lock_guard lock(m_mutex);
    if (!m_open) {
        return false;
    }
    ++m_transfers;
    return true;
}

void CSerialLink::EndTransfer() {
    std::lock_guard lock(m_mutex);
    if (--m_transfers == 0) {
        m_idle.notify_all();
    }
}

bool CSerialLink::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_open;
}

bool CSerialLink::Open(uint8_t port, uint32_t baudRate, char parity, uint8_t byteSize,
                       uint8_t stopBits) {
    if (port == 0 || baudRate == 0 || byteSize == 0) {
        return false;
    }
    if (!IsParityLetter(parity)) {
        return false;
    }
    if (stopBits > 2) {
        return false;
    }

    if (IsOpen()) {
        if (m_settings.port == port) {
            // Opening the same device again would fail on our own exclusive
            // hold and lose the open port; keep it and take the new format.
            m_settings.baudRate = baudRate;
            m_settings.parity = parity;
            m_settings.byteSize = byteSize;
            m_settings.stopBits = stopBits;
            ApplySettings();
            return true;
        }
        Close();
    }

    m_settings.port = port;
    m_settings.baudRate = baudRate;
    m_settings.parity = parity;
    m_settings.byteSize = byteSize;
    m_settings.stopBits = stopBits;

    if (!m_driver->OpenDevice(port)) {
        return false;
    }
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
    }
    ApplySettings();
    m_driver->SetupQueues(QUEUE_SIZE, QUEUE_SIZE);
    m_driver->EscapeFunction(SETDTR);
    return true;
}

void CSerialLink::ApplySettings() {
    if (!IsOpen()) {
        return;
    }
    // Both are made even when the first fails; neither outcome is used.
    m_driver->SetState(BuildDcb(m_settings));
    m_driver->SetTimeouts(m_settings.timeouts);
}

void CSerialLink::Close() {
    CloseSteps(CLOSE_PAUSE_MS);
}

void CSerialLink::CloseWithoutPause() {
    CloseSteps(0);
}

void CSerialLink::CloseSteps(uint32_t pauseMs) {
    if (!IsOpen()) {
        return;
    }
    m_driver->RaiseSignal(LinkSignal::Closing);
    if (pauseMs > 0) {
        m_driver->Pause(pauseMs);
    }
    {
        // The closing signal stays up until every transfer that holds the
        // descriptor has returned; no new one can start after this.
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_transfers == 0; });
        m_open = false;
    }
    m_driver->LowerSignal(LinkSignal::Closing);
    if ((m_settings.dtrControl & 3u) == 1) {
        m_driver->EscapeFunction(CLRDTR);
    }
    m_driver->CloseDevice();
}

bool CSerialLink::PurgeInput(uint32_t* dropped) {
    Transfer t(*this);
    if (!t) {
        return false;
    }
    if (dropped != nullptr) {
        *dropped = m_driver->DrainInput();
    }
    return m_driver->Purge(PURGE_RXABORT | PURGE_RXCLEAR);
}

bool CSerialLink::Write(const uint8_t* buffer, uint32_t n) {
    if (buffer == nullptr || n == 0) {
        return false;
    }
    Transfer t(*this);
    if (!t) {
        return false;
    }
    const TransferResult r = m_driver->Write(buffer, n);
    if (r.end == TransferEnd::Abort) {
        m_driver->LowerSignal(LinkSignal::Abort);
    }
    return r.count == n;
}

uint32_t CSerialLink::Read(uint8_t* buffer, uint32_t n) {
    if (buffer == nullptr || n == 0) {
        return 0;
    }
    Transfer t(*this);
    if (!t) {
        return 0;
    }
    // Whatever ended it, the bytes that came are the caller's; the abort
    // signal stays raised.
    return m_driver->Read(buffer, n).count;
}

bool CSerialLink::Abort() {
    return m_driver->RaiseSignal(LinkSignal::Abort);
}

bool CSerialLink::ResetAbort() {
    return m_driver->LowerSignal(LinkSignal::Abort);
}

bool CSerialLink::SetTimeouts(const CommTimeouts& timeouts) {
    if (timeouts == m_settings.timeouts) {
        return true;
    }
    m_settings.timeouts = timeouts;
    Transfer t(*this);
    return t && m_driver->SetTimeouts(timeouts);
}

bool CSerialLink::PurgeOutput() {
    Transfer t(*this);
    return t && m_driver->Purge(PURGE_TXABORT | PURGE_TXCLEAR);
}

bool CSerialLink::EscapeFunction(uint32_t code) {
    Transfer t(*this);
    return t && m_driver->EscapeFunction(code);
}

bool CSerialLink::SetBreak() {
    return EscapeFunction(SETBREAK);
}

bool CSerialLink::ClearBreak() {
    return EscapeFunction(CLRBREAK);
}

bool CSerialLink::SetDtr(uint32_t on) {
    return EscapeFunction(on != 0 ? SETDTR : CLRDTR);
}

bool CSerialLink::SetRts(uint32_t on) {
    return EscapeFunction(on != 0 ? SETRTS : CLRRTS);
}

uint32_t CSerialLink::InterruptTransfers(uint32_t ms) {
    m_driver->RaiseSignal(LinkSignal::Closing);
    m_driver->Pause(ms);
    m_driver->LowerSignal(LinkSignal::Closing);
    return 0;
}

bool CSerialLink::CancelPending() {
    return IsOpen();
}

bool CSerialLink::ClearErrors(uint32_t& errors, ComStat& stat) {
    errors = 0;
    stat = {};
    Transfer t(*this);
    return t && m_driver->ClearErrors(errors, stat);
}

uint32_t CSerialLink::BreakDetected() {
    uint32_t errors = 0;
    ComStat stat;
    return ClearErrors(errors, stat) ? errors & CE_BREAK : 0;
}

uint32_t CSerialLink::GetInputCount() {
    uint32_t errors = 0;
    ComStat stat;
    return ClearErrors(errors, stat) ? stat.cbInQue : 0;
}

uint32_t CSerialLink::GetModemStatus() {
    Transfer t(*this);
    uint32_t status = 0;
    return t && m_driver->GetModemStatus(status) ? status : 0;
}

uint32_t CSerialLink::IsCtsOn() {
    return GetModemStatus() & MS_CTS_ON;
}

uint32_t CSerialLink::IsDsrOn() {
    return GetModemStatus() & MS_DSR_ON;
}

uint32_t CSerialLink::IsRingOn() {
    return GetModemStatus() & MS_RING_ON;
}

uint32_t CSerialLink::IsRlsdOn() {
    return GetModemStatus() & MS_RLSD_ON;
}

uint32_t CSerialLink::ReadQueued(uint8_t* buffer, uint32_t length) {
    if (buffer == nullptr || length == 0) {
        return 0;
    }
    const uint32_t queued = GetInputCount();
    if (queued == 0) {
        return 0;
    }
    // Never past the caller's buffer; the rest stays queued.
    return Read(buffer, std::min(queued, length));
}

uint32_t CSerialLink::ReadQueuedAfter(uint8_t* buffer, uint32_t length, uint32_t t) {
    if (m_driver->WaitSignals(t) != TransferEnd::Complete) {
        return 0;
    }
    return ReadQueued(buffer, length);
}

uint32_t CSerialLink::ReadLoop(uint8_t* buffer, uint32_t n, uint32_t t, bool pump) {
    if (buffer == nullptr || n == 0 || t == 0) {
        return 0;
    }
    Transfer guard(*this);
    if (!guard) {
        return 0;
    }
    const Deadline deadline = Deadline::AfterMs(t);
    const bool slices = pump && m_pump;
    uint32_t count = 0;
    for (;;) {
        if (deadline.Expired()) {
            break;
        }
        // Whole milliseconds left, rounded up so the last attempt reaches the deadline.
        const auto leftMs =
            std::chrono::ceil<std::chrono::milliseconds>(deadline.When() - Deadline::Clock::now());
        uint32_t left = static_cast<uint32_t>(std::max<int64_t>(1, leftMs.count()));
        if (slices) {
            left = std::min(left, PUMP_SLICE_MS);
        }
        const TransferResult r = m_driver->ReadUntil(buffer + count, n - count, left);
        count += r.count;
        if (count >= n || r.end != TransferEnd::Complete) {
            break;
        }
        if (slices) {
            m_pump();
        }
    }
    return count;
}

uint32_t CSerialLink::ReadTimed(uint8_t* buffer, uint32_t n, uint32_t t) {
    return ReadLoop(buffer, n, t, false);
}

uint32_t CSerialLink::ReadWithin(uint8_t* buffer, uint32_t n, uint32_t t) {
    return ReadLoop(buffer, n, t, true);
}

uint32_t CSerialLink::ReadByte(uint8_t* buffer, uint32_t t) {
    return ReadWithin(buffer, 1, t);
}

bool CSerialLink::WriteWithin(const uint8_t* buffer, uint32_t n, uint32_t t) {
    if (buffer == nullptr || n == 0 || t == 0) {
        return false;
    }
    Transfer guard(*this);
    if (!guard) {
        return false;
    }
    const TransferResult r = m_driver->WriteUntil(buffer, n, t);
    if (r.end == TransferEnd::Abort) {
        m_driver->LowerSignal(LinkSignal::Abort);
    }
    return r.count == n;
}

bool CSerialLink::WriteByte(uint8_t byte, uint32_t t) {
    return WriteWithin(&byte, 1, t);
}

uint32_t CSerialLink::WaitForEvent(uint32_t mask, uint32_t t) {
    Transfer guard(*this);
    // An empty mask has nothing to wait for.
    if (!guard || mask == 0) {
        return 0;
    }
    uint32_t events = 0;
    const TransferEnd end = m_driver->WaitEvent(mask, m_settings.evtChar, t, events);
    if (end == TransferEnd::Abort) {
        m_driver->LowerSignal(LinkSignal::Abort);
    }
    return end == TransferEnd::Complete ? events : 0;
}

bool CSerialLink::WaitForChar(char c, uint32_t t) {
    if (!IsOpen()) {
        return false;
    }
    m_settings.evtChar = c;
    ApplySettings();
    // The line is given evtChar only when evtMask holds EV_RXFLAG, which the
    // default does not; WaitForEvent hands c to the wait directly instead.
    return (WaitForEvent(EV_RXFLAG, t) & EV_RXFLAG) != 0;
}

uint32_t CSerialLink::WaitAndRead(uint8_t* buffer, uint32_t n, uint32_t t) {
    if (buffer == nullptr || t == 0) {
        return 0;
    }
    if ((WaitForEvent(EV_RXCHAR, t) & EV_RXCHAR) == 0) {
        return 0;
    }
    if (n == 0 || !IsOpen()) {
        return 0;
    }
    return ReadWithin(buffer, n, t);
}

void CSerialLink::SetFlowControl(uint32_t on) {
    m_settings.dtrControl = 0;
    m_settings.outxDsrFlow = 0;
    const uint32_t v = on != 0 ? 1 : 0;
    m_settings.rtsControl = on != 0 ? 2 : 0;
    m_settings.outxCtsFlow = v;
    m_settings.inX = v;
    m_settings.outX = v;
}

void CSerialLink::SetParity(char v) {
    if (IsParityLetter(v)) {
        m_settings.parity = v;
    }
}

void CSerialLink::SetStopBits(uint8_t v) {
    if (v <= 2) {
        m_settings.stopBits = v;
    }
}

void CSerialLink::SetDtrControl(uint32_t v) {
    if (v <= 2) {
        m_settings.dtrControl = v;
    }
}

void CSerialLink::SetRtsControl(uint32_t v) {
    if (v <= 3) {
        m_settings.rtsControl = v;
    }
}

uint32_t CSerialLink::GetSystemErrorText(int code, std::string& text) {
    text.clear();
    char buffer[256];
    const char* message = strerror_r(code, buffer, sizeof buffer);
    // glibc makes up "Unknown error N" for numbers it has no text for.
    if (message == nullptr || std::strncmp(message, "Unknown error", 13) == 0) {
        return 1;
    }
    // System texts are one short line; a longer one is cut into lines of 80.
    const std::string whole = message;
    for (size_t at = 0; at < whole.size(); at += 80) {
        if (at > 0) {
            text += '\n';
        }
        text += whole.substr(at, 80);
    }
    return static_cast<uint32_t>(text.size() + 1);
}

std::string CSerialLink::LineFault() const {
    if (std::string reason = m_driver->FailureReason(); !reason.empty()) {
        return reason;
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_lineFault;
}

void CSerialLink::NoteLineFault(std::string fault) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_lineFault = std::move(fault);
}
