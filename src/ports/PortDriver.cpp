#include "PortDriver.h"

#include "ComName.h"
#include "DeviceMap.h"
#include "NetworkDriver.h"
#include "NetworkTarget.h"
#include "PortDirectory.h"
#include "SerialLink.h"
#include "TermiosDriver.h"

PortDriver::PortDriver() : m_local(std::make_unique<TermiosDriver>()), m_active(m_local.get()) {}

PortDriver::~PortDriver() = default;

bool PortDriver::OpenDevice(uint8_t port) {
    m_busy.clear();
    const std::string target = ResolveComDevice(port);
    if (const std::optional<NetworkTarget> address = ParseNetworkTarget(target)) {
        m_network = std::make_unique<NetworkDriver>(*address);
        m_active = m_network.get();
        return m_network->OpenDevice(port);
    }
    m_active = m_local.get();
    if (target.empty()) {
        return false;
    }
    UucpHolder holder;
    if (!m_lock.Take(target, holder)) {
        m_busy = ComName(port) + " is busy: " + holder.program +
                 (holder.pid != 0 ? " (process " + std::to_string(holder.pid) + ")" : "") +
                 " holds it";
        return false;
    }
    if (!m_local->OpenPath(target)) {
        m_lock.Release();
        return false;
    }
    return true;
}

void PortDriver::CloseDevice() {
    m_active->CloseDevice();
    m_lock.Release();
}

std::string PortDriver::FailureReason() const {
    return m_busy.empty() ? m_active->FailureReason() : m_busy;
}

// A link opens COM names, which only this layer can tell apart.
CSerialLink::CSerialLink() : CSerialLink(std::make_unique<PortDriver>()) {}
