#pragma once

#include <cstdint>

// The five line time-outs, in milliseconds, with the meaning the Windows
// COMMTIMEOUTS record gives them; the read and write loops enforce them.
struct CommTimeouts {
    uint32_t ReadIntervalTimeout = 100;
    uint32_t ReadTotalTimeoutMultiplier = 10;
    uint32_t ReadTotalTimeoutConstant = 100;
    uint32_t WriteTotalTimeoutMultiplier = 10;
    uint32_t WriteTotalTimeoutConstant = 100;

    bool operator==(const CommTimeouts&) const = default;
};

// Line settings of a CSerialLink, fields in their fixed order.
struct SerialSettings {
    uint8_t port = 1;
    uint32_t evtMask = 0x1F8; // EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR | EV_RING
    uint32_t baudRate = 9600;
    uint8_t byteSize = 8;
    char parity = 'N';
    uint8_t stopBits = 0; // 0 one, 1 one and a half, 2 two
    CommTimeouts timeouts;
    char evtChar = 10;
    char eofChar = 0;
    uint32_t rtsControl = 0; // 0 disable, 1 enable, 2 handshake, 3 toggle
    uint32_t dtrControl = 0; // 0 disable, 1 enable, 2 handshake
    char xonChar = 0x11;
    char xoffChar = 0x13;
    uint16_t xonLim = 0;
    uint16_t xoffLim = 0;
    uint32_t outxCtsFlow = 0;
    uint32_t outxDsrFlow = 0;
    uint32_t dsrSensitivity = 0;
    uint32_t outX = 0;
    uint32_t inX = 0;
    uint32_t txContinueOnXoff = 0;
};
