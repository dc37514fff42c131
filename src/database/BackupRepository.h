#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct git_repository;

// The file that holds a module's backup in the repository: "MODULE.txt".
std::string BackupFileName(const std::string& module);

// A file as one revision holds it.
struct BackupFileText {
    bool found = false;  // the revision holds the file
    std::string text;    // its bytes, when found
    std::string commit;  // the revision's commit, short id; empty when it names none
    std::string problem; // why the revision could not be read (unknown, not a commit)
};

// A commit of the repository, as its history lists it.
struct BackupCommit {
    std::string id;        // the full hexadecimal id
    std::string shortId;   // the shortest unique abbreviation, at least 7 digits
    std::string parent;    // the first parent's full id; empty for the first commit
    int64_t time = 0;      // committed at, seconds since the epoch
    int offsetMinutes = 0; // the committer's time zone
    std::string message;
};

// How putting files into a commit went.
struct BackupCommitOutcome {
    bool ok = false;
    bool committed = false; // false with ok: every file was as HEAD holds it
    std::string commit;     // the new commit's short id
    std::string problem;
};

// A folder of backups kept as a git repository: one file per module at its
// top, one commit per run, read and written through libgit2 (the git program
// is not needed). The work tree and the index follow every commit, so that
// git itself sees a clean folder and the files are there to read. Errors come
// back as texts that name the folder.
class CBackupRepository {
public:
    CBackupRepository();
    ~CBackupRepository();
    CBackupRepository(const CBackupRepository&) = delete;
    CBackupRepository& operator=(const CBackupRepository&) = delete;

    // Opens dir as a repository of its own (never one of a folder above it).
    // With create, a folder that is not one becomes one, made when missing.
    // A bare repository is refused: its files could not be kept beside it.
    bool Open(const std::string& dir, bool create, std::string* problem = nullptr);
    const std::string& Dir() const { return m_dir; }

    // The file name (MODULE.txt) at rev, as git takes a revision: HEAD (the
    // default), HEAD~1, a branch, a full or short commit id, a tag.
    BackupFileText FileAt(const std::string& name, const std::string& rev = "HEAD") const;
    // The names of the files at the top of rev that end in suffix, sorted;
    // none while the repository has no commit.
    std::vector<std::string> FilesAt(const std::string& suffix,
                                     const std::string& rev = "HEAD") const;

    // Writes each file (name -> text) into the work tree and puts them all
    // into one commit on HEAD with message; the other files of HEAD stay as
    // they are. No commit when every file is as HEAD holds it. The author
    // is the one of the repository's or the user's git configuration, else
    // "lumaret".
    BackupCommitOutcome CommitFiles(const std::map<std::string, std::string>& files,
                                    const std::string& message);

    // Each commit reachable from HEAD whose first parent held name
    // otherwise (or not at all), newest first.
    std::vector<BackupCommit> History(const std::string& name) const;

private:
    std::string Problem(const std::string& what) const;

    git_repository* m_repo = nullptr;
    std::string m_dir;
};
