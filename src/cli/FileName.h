#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// The clock of a run, read once: every file a run names carries the same
// date and time.
struct RunClock {
    std::string date; // YYYY-MM-DD, local time
    std::string time; // HHMMSS
};
RunClock ReadRunClock(std::time_t now = std::time(nullptr));

// FILE with its placeholders replaced: {port} by the port's COM name,
// {serial} by the adapter's serial number (else the COM name), {date} and
// {time} by the run's clock.
std::string FileNameFor(const std::string& pattern, const std::string& comName,
                        const std::string& serial, const RunClock& clock);

// The serial number of the adapter behind COM<port> as udev knows it;
// empty when nothing is known.
std::string AdapterSerial(uint8_t port);
