#pragma once

#include "SerialSettings.h"

#include <cstdint>

// The device-control record, laid out as the Windows DCB (28 bytes), built
// from the line settings and then translated to the platform's line settings.
struct Dcb {
    uint32_t DCBlength = 28;
    uint32_t BaudRate = 0;
    uint32_t flags = 0; // see the DCB_F* bit positions
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;   // NOPARITY 0, ODDPARITY 1, EVENPARITY 2, MARKPARITY 3, SPACEPARITY 4
    uint8_t StopBits = 0; // ONESTOPBIT 0, ONE5STOPBITS 1, TWOSTOPBITS 2
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;
};

inline constexpr uint32_t DCB_FBINARY = 1u << 0;
inline constexpr uint32_t DCB_FPARITY = 1u << 1;
inline constexpr uint32_t DCB_FOUTXCTSFLOW = 1u << 2;
inline constexpr uint32_t DCB_FOUTXDSRFLOW = 1u << 3;
inline constexpr uint32_t DCB_FDTRCONTROL_SHIFT = 4; // 2 bits
inline constexpr uint32_t DCB_FDSRSENSITIVITY = 1u << 6;
inline constexpr uint32_t DCB_FTXCONTINUEONXOFF = 1u << 7;
inline constexpr uint32_t DCB_FOUTX = 1u << 8;
inline constexpr uint32_t DCB_FINX = 1u << 9;
inline constexpr uint32_t DCB_FERRORCHAR = 1u << 10;
inline constexpr uint32_t DCB_FNULL = 1u << 11;
inline constexpr uint32_t DCB_FRTSCONTROL_SHIFT = 12; // 2 bits
inline constexpr uint32_t DCB_FABORTONERROR = 1u << 14;

inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_RXFLAG = 0x0002;
inline constexpr uint32_t EV_TXEMPTY = 0x0004;
inline constexpr uint32_t EV_CTS = 0x0008;
inline constexpr uint32_t EV_DSR = 0x0010;
inline constexpr uint32_t EV_RLSD = 0x0020;
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;
inline constexpr uint32_t EV_RING = 0x0100;

// True for the parity letters the link accepts: N, E, O, M, S in either case.
bool IsParityLetter(char parity);
// The DCB parity code of a letter (anything but E, M, O, S gives NOPARITY).
uint8_t ParityCode(char parity);

Dcb BuildDcb(const SerialSettings& settings);
