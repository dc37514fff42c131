#pragma once

#include "ReplyChecks.h"
#include "SafeFileWriter.h"

#include <functional>
#include <string>

// The two moves that can end an export's file.
enum class ExportMove {
    PutInPlace,  // the new file takes the chosen name
    KeepPartial, // the lines read go to FILE.partial; the chosen file stays
};

// Where the window and the command line have always parted on an export
// that cannot put its file in place.
struct ExportEndRule {
    // An unfinished export where no file stood makes the file of the lines
    // it read (the window); else they go to FILE.partial like any other.
    bool unfinishedMakesNewFile = false;
    // A file that cannot be put in place keeps its lines at FILE.partial;
    // else they are thrown away (the window).
    bool partialWhenPutFails = true;
};

// Where an export's lines ended up.
struct ExportEnd {
    bool inPlace = false;       // at the chosen name
    bool partial = false;       // at FILE.partial, the chosen file untouched
    std::string putProblem;     // why they could not be put in place
    std::string partialProblem; // why they could not be kept at FILE.partial
};

// Code replies came, but none ever with a valid CRC: whatever answers on the
// line (a server flooding bytes, a GPS receiver's text) may have been read as
// codes. Such an export never replaces a file or a module's slots unless
// the operator accepts unchecked replies (a module whose replies carry no CRC).
bool CodesUnchecked(const CReplyChecks& checks);
inline constexpr const char* CODES_UNCHECKED_TEXT =
    "its code replies were never checked by a valid CRC (is a module attached? "
    "--accept-unchecked takes them as they are)";

// Runs one move and returns its result. A front end that tells another
// thread where the lines are (the command line's second Ctrl+C) holds that
// word while the file moves; without a runner the move simply runs.
using ExportMoveRunner = std::function<bool(ExportMove move, const std::function<bool()>& run)>;

// The end of an export written into file. A complete export replaces the
// chosen file. One that ended early never replaces a file that stood there:
// its lines go to FILE.partial beside it. Nothing is kept when neither works.
ExportEnd EndExport(CSafeFileWriter& file, bool complete, const ExportEndRule& rule,
                    const ExportMoveRunner& runner = {});
