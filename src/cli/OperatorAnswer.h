#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// One line an operator types at the terminal, without its end: waits until
// the line is complete or running drops to 0. False at the end of input, on
// an error or once running dropped.
bool ReadAnswer(int fd, const std::atomic<int32_t>& running, std::string& answer);
