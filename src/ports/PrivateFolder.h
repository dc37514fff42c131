#pragma once

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

// The per-user folders of the programs: the port directory and the
// simulator's rooms live below one root, whose own levels no other user may
// swap, redirect or write to.

// $XDG_RUNTIME_DIR/lumaret, or /tmp/lumaret-<uid> without it. Read from the
// environment on every call, so tests can point it elsewhere.
std::string LumaretRuntimePath();

// Why a level of a private folder is not safe, judged by its lstat: a
// symbolic link, not a directory, owned by someone other than owner, or
// writable by group or others. Empty when it is safe.
std::string DirectoryFault(const struct stat& st, uid_t owner);

// Opens dir (O_DIRECTORY, close-on-exec), judging its last ownLevels levels
// from the top down, so that no level is reached through a link. With create,
// missing levels are made (mode 0700), and the folders above them too: those
// are the system's and only made, not judged. -1 when dir cannot be opened or
// a level is not safe, with the reason naming the level in *reason when
// given; use says in a refusal what the folder would hold ("ports").
int OpenPrivateFolder(const std::string& dir, int ownLevels, bool create, const std::string& use,
                      std::string* reason = nullptr);
