#include "ExchangeTiming.h"

#include <cmath>

const ExchangeTiming& FixedTiming() {
    static const ExchangeTiming timing{};
    return timing;
}

ExchangeTiming ScaledTiming(double factor) {
    ExchangeTiming t = FixedTiming();
    auto scale = [factor](uint32_t ms) {
        const double v = std::round(static_cast<double>(ms) * factor);
        return v <= 0.0 ? 0U : static_cast<uint32_t>(v);
    };
    t.getVersionPauseMs = scale(t.getVersionPauseMs);
    t.readKeyPauseMs = scale(t.readKeyPauseMs);
    t.sendKeyPauseMs = scale(t.sendKeyPauseMs);
    t.learnPollPeriodMs = scale(t.learnPollPeriodMs);
    t.exportPauseMs = scale(t.exportPauseMs);
    t.importPauseMs = scale(t.importPauseMs);
    return t;
}
