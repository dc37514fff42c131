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
