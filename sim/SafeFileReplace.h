#pragma once

#include <string>

// How a save ended: ok, or why not, naming the file. The file it was to
// replace is left as it was whenever ok is false.
struct SaveOutcome {
    bool ok = false;
    std::string message;
    explicit operator bool() const { return ok; }
};

// Puts text in place of the file at path, whole or not at all: written to a
// fresh file beside it, synced, then renamed over it. Only a regular file is
// replaced, and the new one keeps its mode and owner; a link, a device or a
// folder at path is refused and left alone.
SaveOutcome ReplaceFileContents(const std::string& path, const std::string& text);
