#pragma once

// What lumaret-cli's exit status tells a script. With several ports the
// highest of them is the program's.
inline constexpr int EXIT_SUCCESS_ALL = 0; // success; verify and diff: no difference
inline constexpr int EXIT_OUTCOME = 1;     // the module answered, the outcome is not a success
inline constexpr int EXIT_USAGE = 2;    // a usage error, or a file that cannot be read or written
inline constexpr int EXIT_PORT = 3;     // a port that cannot be opened
inline constexpr int EXIT_NO_REPLY = 4; // the module did not answer at all
inline constexpr int EXIT_INTERRUPTED = 130; // Ctrl+C (SIGINT) or SIGTERM
