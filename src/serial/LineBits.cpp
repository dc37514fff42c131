#include "LineBits.h"

#include "SerialDriver.h"

#include <sys/ioctl.h>

uint32_t ModemStatusFromLines(int bits) {
    uint32_t status = 0;
    if (bits & TIOCM_CTS) {
        status |= MS_CTS_ON;
    }
    if (bits & TIOCM_DSR) {
        status |= MS_DSR_ON;
    }
    if (bits & TIOCM_RI) {
        status |= MS_RING_ON;
    }
    if (bits & TIOCM_CD) {
        status |= MS_RLSD_ON;
    }
    return status;
}

uint32_t LineEventsBetween(uint32_t before, uint32_t now) {
    const uint32_t changed = before ^ now;
    uint32_t events = 0;
    if (changed & MS_CTS_ON) {
        events |= EV_CTS;
    }
    if (changed & MS_DSR_ON) {
        events |= EV_DSR;
    }
    if (changed & MS_RLSD_ON) {
        events |= EV_RLSD;
    }
    if (changed & MS_RING_ON) {
        events |= EV_RING;
    }
    return events;
}

uint32_t CommErrorsBetween(const ErrorCounters& before, const ErrorCounters& now) {
    uint32_t errors = 0;
    if (now.brk != before.brk) {
        errors |= CE_BREAK;
    }
    if (now.frame != before.frame) {
        errors |= CE_FRAME;
    }
    if (now.overrun != before.overrun) {
        errors |= CE_OVERRUN;
    }
    if (now.parity != before.parity) {
        errors |= CE_RXPARITY;
    }
    if (now.bufOverrun != before.bufOverrun) {
        errors |= CE_RXOVER;
    }
    return errors;
}

uint32_t ErrorEventsFrom(uint32_t errors) {
    uint32_t events = 0;
    if (errors & CE_BREAK) {
        events |= EV_BREAK;
    }
    // The driver's own buffer overrun is an error of the queue, not of the line.
    if (errors & (CE_FRAME | CE_OVERRUN | CE_RXPARITY)) {
        events |= EV_ERR;
    }
    return events;
}
