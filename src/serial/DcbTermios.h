#pragma once

// Kept apart from <termios.h>: termios2 comes from the kernel's own header,
// and the two cannot meet in one translation unit.
#include <asm/termbits.h>

#include "Dcb.h"

// Fills t from the DCB on top of what t held: raw mode, receiver on, modem
// lines ignored for opening, character size, parity, stop bits, hardware and
// software flow control. The rate goes in as its Bnnn constant where one
// exists, otherwise as BOTHER with the exact rate.
void DcbToTermios(const Dcb& dcb, struct termios2& t);

// Line operations that need termios2; they live here for the same reason.
// The saved form is an opaque copy of the line's termios2.
inline constexpr unsigned SAVED_LINE_SIZE = 64;
bool SaveLine(int fd, unsigned char* saved);
bool RestoreLine(int fd, const unsigned char* saved);
// Reads the line's settings, lays the DCB over them and writes them back.
bool ApplyDcb(int fd, const Dcb& dcb);
