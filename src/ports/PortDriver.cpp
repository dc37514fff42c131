#include "PortDriver.h"

#include "DeviceMap.h"
#include "NetworkDriver.h"
#include "NetworkTarget.h"
#include "PortDirectory.h"
#include "SerialLink.h"
#include "TermiosDriver.h"

PortDriver::PortDriver() : m_local(std::make_unique<TermiosDriver>()), m_active(m_local.get()) {}

PortDriver::~PortDriver() = default;

bool PortDriver::OpenDevice(uint8_t port) {
    const std::string target = ResolveComDevice(port);
    if (const std::optional<NetworkTarget> address = ParseNetworkTarget(target)) {
        m_network = std::make_unique<NetworkDriver>(*address);
        m_active = m_network.get();
        return m_network->OpenDevice(port);
    }
    m_active = m_local.get();
    return m_local->OpenPath(target);
}

// A link opens COM names, which only this layer can tell apart.
CSerialLink::CSerialLink() : CSerialLink(std::make_unique<PortDriver>()) {}
