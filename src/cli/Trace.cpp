#include "Trace.h"

#include "Console.h"
#include "Reply.h"

#include <chrono>
#include <cstdio>
#include <ctime>

CTracingDriver::CTracingDriver(std::unique_ptr<ISerialDriver> inner, std::string portName,
                               CConsole* trace)
    : m_inner(std::move(inner)), m_portName(std::move(portName)), m_trace(trace) {}

std::string CTracingDriver::TraceLine(const std::string& portName, char direction,
                                      const uint8_t* bytes, uint32_t count) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(ms));
    std::string line = std::string(stamp) + " " + portName + " " + direction + " ";
    if (count == 0) {
        return line + "(nothing)";
    }
    std::string hex = HexGroups(bytes, count);
    hex.pop_back(); // the last group's blank
    return line + hex;
}

bool CTracingDriver::Noted(bool result) {
    if (m_trace != nullptr) {
        for (const std::string& note : m_inner->TakeNotes()) {
            m_trace->Line(m_portName + " note: " + note);
        }
    }
    return result;
}

TransferResult CTracingDriver::Took(const uint8_t* buffer, TransferResult r) {
    Noted(true);
    m_bytesRead += r.count;
    m_sinceWrite += r.count;
    if (m_trace != nullptr) {
        m_trace->Line(TraceLine(m_portName, '<', buffer, r.count));
    }
    return r;
}

TransferResult CTracingDriver::Gave(const uint8_t* buffer, TransferResult r) {
    Noted(true);
    m_sinceWrite = 0;
    if (m_trace != nullptr) {
        m_trace->Line(TraceLine(m_portName, '>', buffer, r.count));
    }
    return r;
}

TransferResult CTracingDriver::ReadUntil(uint8_t* buffer, uint32_t n, uint32_t ms) {
    return Took(buffer, m_inner->ReadUntil(buffer, n, ms));
}

TransferResult CTracingDriver::WriteUntil(const uint8_t* buffer, uint32_t n, uint32_t ms) {
    return Gave(buffer, m_inner->WriteUntil(buffer, n, ms));
}

TransferResult CTracingDriver::Read(uint8_t* buffer, uint32_t n) {
    return Took(buffer, m_inner->Read(buffer, n));
}

TransferResult CTracingDriver::Write(const uint8_t* buffer, uint32_t n) {
    return Gave(buffer, m_inner->Write(buffer, n));
}
