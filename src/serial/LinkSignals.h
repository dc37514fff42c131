#pragma once

#include "SerialDriver.h"

// The two signals of a link (abort, closing) as eventfds a driver's waits
// poll beside the line: raised until lowered, seen by every waiting transfer.
class LinkSignals {
public:
    LinkSignals();
    ~LinkSignals();
    LinkSignals(const LinkSignals&) = delete;
    LinkSignals& operator=(const LinkSignals&) = delete;

    int Fd(LinkSignal signal) const {
        return signal == LinkSignal::Abort ? m_abortFd : m_closingFd;
    }
    bool Raise(LinkSignal signal);
    bool Lower(LinkSignal signal);

private:
    int m_abortFd = -1;
    int m_closingFd = -1;
};
