#pragma once

#include "DatabaseFile.h"

#include <string>
#include <sys/types.h>

// What a target path holds before it is replaced.
struct ReplaceTarget {
    bool ok = false;     // a regular file or nothing, in a folder we can look into
    bool exists = false; // a regular file is there now
    std::string problem; // why not ok ("it is a folder; ...")
    // The regular file's mode and owner, when it exists.
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
};

// Checks a path that a file is to replace, before any work is done for it:
// only a regular file is ever replaced. A symbolic link, a folder, a device,
// a named pipe or a socket there is refused and left alone.
ReplaceTarget CheckReplaceTarget(const std::string& path);

// The one way this program replaces a file: the text goes into a fresh file
// beside the target, which is synced and renamed over the target only when it
// is complete. A file that is replaced keeps its mode and, where we may, its
// owner; a new file gets the usual mode for the user's umask. Until Commit
// the target stays exactly as it was.
//
// The fresh file has no name (O_TMPFILE) until it is linked into place, so
// a killed writer leaves nothing behind. Where the file system has no such
// files it is ".NAME.lumaret-XXXXXX" (mkostemp, so never a name that a
// planted link may occupy), locked for as long as its writer lives; the next
// writer in the folder removes those that nobody holds.
//
// An export writes its lines here as they are read. When it cannot finish,
// KeepAsPartial puts what was written at PATH.partial instead, the same
// safe way (a link at PATH.partial is replaced, never followed).
class CSafeFileWriter : public ILineSink {
public:
    explicit CSafeFileWriter(std::string path);
    ~CSafeFileWriter() override; // removes the fresh file when nothing was committed
    CSafeFileWriter(const CSafeFileWriter&) = delete;
    CSafeFileWriter& operator=(const CSafeFileWriter&) = delete;

    // Checks the target and makes the fresh file. False, with the reason in
    // *problem, when the target is refused or the folder takes no new file.
    bool Open(std::string* problem = nullptr);
    bool WriteString(std::string_view text) override;
    // Puts the fresh file in place of the target.
    bool Commit(std::string* problem = nullptr);
    // Puts the fresh file at PartialPath(), leaving the target alone.
    bool KeepAsPartial(std::string* problem = nullptr);
    // Links the fresh file at PartialPath() as well (later writes reach it
    // too): for a program about to end at once, so not synced.
    bool KeepWrittenSoFar(std::string* problem = nullptr);
    // Throws the fresh file away.
    void Discard();

    // Off: fresh files are named, as on a file system without O_TMPFILE.
    static void AllowAnonymousFiles(bool allowed);

    bool IsOpen() const { return m_fd >= 0; }
    // A regular file stood at the path when Open checked it.
    bool TargetExisted() const { return m_targetExisted; }
    const std::string& Path() const { return m_path; }
    std::string PartialPath() const { return m_path + ".partial"; }
    // The fresh file while it is written, beside the target; empty while
    // it has no name.
    const std::string& FreshPath() const { return m_temp; }

private:
    bool OpenAnonymous(const std::string& folder);
    bool OpenNamed(const std::string& folder, std::string* problem);
    // Gives the fresh file one more hidden name beside the target.
    bool LinkFresh(std::string& linked) const;
    std::string KeepOwnerAndMode() const;
    // Renames the fresh file (or, with keepFresh or no name, a new link to
    // it) to destination; "" or why not.
    std::string PutAt(const std::string& destination, bool keepFresh);
    bool MoveTo(const std::string& destination, std::string* problem);

    std::string m_path;
    std::string m_temp;
    int m_fd = -1;
    bool m_writeFailed = false;
    int m_writeError = 0;
    bool m_targetExisted = false;
    uid_t m_owner = 0;
    gid_t m_group = 0;
    mode_t m_mode = 0;
};

// How a save ended: ok, or why not, naming the file.
struct SaveOutcome {
    bool ok = false;
    std::string message;
    explicit operator bool() const { return ok; }
};

// Puts text in place of the file at path, whole or not at all.
SaveOutcome ReplaceFileContents(const std::string& path, const std::string& text);

// Removes the fresh files in folder that writers killed before they were put
// in place left behind (those that no living writer holds). Every writer
// does this in its folder before it starts.
void RemoveStaleFreshFiles(const std::string& folder);
