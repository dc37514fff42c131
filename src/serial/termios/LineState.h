#pragma once

#include "Dcb.h"

// Line operations that need termios2, declared apart from it so that code
// using <termios.h> can call them. The saved form is an opaque copy of the
// line's termios2.
inline constexpr unsigned SAVED_LINE_SIZE = 64;
bool SaveLine(int fd, unsigned char* saved);
bool RestoreLine(int fd, const unsigned char* saved);
// Reads the line's settings, lays the DCB over them and writes them back.
bool ApplyDcb(int fd, const Dcb& dcb);
