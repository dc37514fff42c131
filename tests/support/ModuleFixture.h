#pragma once

#include "BulkTiming.h"
#include "ExchangeTiming.h"
#include "SerialLink.h"
#include "SimulatedModule.h"

#include <cstdint>
#include <string>

// A simulated module served and published as comName; its slots emptied, so
// that a test knows every code on it, unless the few it starts with are kept.
inline bool StartPublished(SimulatedModule& module, const std::string& comName, bool empty = true) {
    if (!module.Start() || !module.Publish(comName)) {
        return false;
    }
    if (empty) {
        module.ClearSlots();
    }
    return true;
}

// An empty simulated module published as COM<port> and a link open on it
// with the bulk timing's line time-outs: what a job or an exchange runs on.
class CModuleOnLink {
public:
    CModuleOnLink() = default;
    CModuleOnLink(const CModuleOnLink&) = delete;
    CModuleOnLink& operator=(const CModuleOnLink&) = delete;
    // The link goes before the module, so it never sees the line hang up.
    ~CModuleOnLink() {
        link.Close();
        module.Stop();
    }

    bool Start(uint8_t port) {
        if (!StartPublished(module, "COM" + std::to_string(port)) ||
            !link.Open(port, 9600, 'N', 8, 0)) {
            return false;
        }
        link.SetTimeouts(timing.lineTimeouts);
        return true;
    }

    SimulatedModule module;
    CSerialLink link;
    const ExchangeTiming timing = BulkTiming();
};
