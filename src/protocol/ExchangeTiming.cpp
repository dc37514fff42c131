#include "ExchangeTiming.h"

#include "ReadLimits.h"

#include <algorithm>
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

ExchangeStep ExchangeTiming::Step(Exchange exchange) const {
    switch (exchange) {
    case Exchange::GetVersion:
        return {getVersionPauseMs, getVersionReadSize};
    case Exchange::ReadKey:
        return {readKeyPauseMs, readKeyReadSize};
    case Exchange::SendKey:
        return {sendKeyPauseMs, sendKeyReadSize};
    case Exchange::LearnPoll:
        return {0, learnPollReadSize};
    case Exchange::ExportSlot:
        return {exportPauseMs, exportReadSize};
    case Exchange::ImportLine:
        break;
    }
    return {importPauseMs, importReadSize};
}

uint32_t ExchangeTiming::BoundMs(Exchange exchange) const {
    const ExchangeStep step = Step(exchange);
    return step.pauseMs + ReadBoundMs(lineTimeouts, step.readSize);
}

uint32_t LearnWaitMs(const ExchangeTiming& timing) {
    const uint32_t pollMs = std::max(timing.learnPollPeriodMs, timing.BoundMs(Exchange::LearnPoll));
    return pollMs * static_cast<uint32_t>(std::max(timing.learnPolls, 0));
}

std::string LearnWaitText(const ExchangeTiming& timing) {
    return "about " + std::to_string((LearnWaitMs(timing) + 500) / 1000) + " seconds";
}
