#pragma once

#include "RunControl.h"

#include <thread>

// Ctrl+C and SIGTERM without work in a signal handler: the signals are
// blocked in every thread (make this before any other thread) and a thread
// of its own takes them from a signalfd. The first interrupts the run; a
// second one ends the program at once with status 130, saying on standard
// error what the run leaves behind.
class CInterruptWatch {
public:
    explicit CInterruptWatch(CRunControl& control);
    ~CInterruptWatch();
    CInterruptWatch(const CInterruptWatch&) = delete;
    CInterruptWatch& operator=(const CInterruptWatch&) = delete;

private:
    void Watch();

    CRunControl& m_control;
    int m_signalFd = -1;
    int m_stopFd = -1;
    std::thread m_thread;
};
