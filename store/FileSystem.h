// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The one seam between the program and the file system. Every writer, every lock and
// every guarded open reaches files through FileSystem::Default(): the primitives below
// are one system call each and virtual, so a test can wrap the real file system and
// fail exactly the calls it wants (store/tests/FaultInjectingFileSystem.h); the
// compound operations (atomic replace, guarded open, private directories) are written
// once on top of the primitives and so are proven once.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "store/ResultCodes.h"

namespace tallimor {

// The kinds of primitive call, for a test that fails one kind.
enum class FileCall {
  kAny,              // matches every kind (only for choosing a fault)
  kOpen,
  kCreateTemporary,
  kWrite,
  kSync,
  kSetMode,
  kLock,
  kRename,
  kLink,
  kRemove,
  kMakeDirectory,
  kSyncDirectory,
};

class FileSystem {
 public:
  // What an atomic replace does beside writing the bytes.
  struct ReplaceOptions {
    // Between the file's name and mkstemp's six characters in the temporary's name;
    // the temporaries a killed writer left under this pattern are cleared away first.
    std::string separator = ".tmp-";
    // Permissions of the new file; kKeepMode: those of the file it replaces, 0600
    // when there is none.
    int mode = kKeepMode;
    // Place the file with link(), refusing a name that is taken, instead of rename().
    bool exclusive = false;
    // Fail when the temporary cannot be locked (it stays locked while it is written,
    // so that no other writer's clean-up takes it for one a killed writer left).
    bool lockRequired = false;
    // Called after the temporary is on the disk and before it is placed; a result
    // other than kOk abandons the replace with that result.
    std::function<Result()> beforePlacing;
    // When set, receives the placed file's descriptor, still open and locked,
    // instead of it being closed.
    int* keptOpen = nullptr;
  };
  static constexpr int kKeepMode = -1;

  FileSystem() = default;
  virtual ~FileSystem();
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  // The file system every writer uses: the real one unless a test installed another.
  static FileSystem* Default();
  // Installs `fileSystem` (nullptr: the real one) as Default() and returns the one it
  // replaces. REQUIRES: no other thread is using files meanwhile (tests only).
  static FileSystem* SetDefault(FileSystem* fileSystem);

  // --- Primitives: one system call each, returning what it returns (-1 and errno).
  virtual int Open(const std::string& path, int flags, mode_t mode);
  // mkostemp() with close-on-exec; `pattern` ends in "XXXXXX" and receives the name.
  virtual int CreateTemporary(std::string* pattern);
  virtual ssize_t Write(int fd, const void* data, std::size_t size);
  virtual int Sync(int fd);                                      // fsync
  virtual int SetMode(int fd, mode_t mode);                      // fchmod
  virtual int Lock(int fd, int operation);                       // flock
  virtual int Rename(const std::string& from, const std::string& to);
  virtual int Link(const std::string& from, const std::string& to);
  virtual int Remove(const std::string& path);                   // unlink
  virtual int MakeDirectory(const std::string& path, mode_t mode);
  virtual int SyncDirectory(const std::string& directory);       // open + fsync

  // --- Compound operations, built on the primitives.

  // Replaces `path` whole with what `write` puts into a fresh temporary beside it
  // (given as a descriptor): the temporary is made close-on-exec, locked, given its
  // permissions, written, synced, then renamed (or linked) over the name, and the
  // directory is synced. Any failure leaves the old file exactly as it was and removes
  // the temporary: kErrWrite with the fault in *error, or the non-kOk result of
  // `write` or of options.beforePlacing.
  Result ReplaceWith(const std::string& path, const std::function<Result(int fd)>& write,
                     const ReplaceOptions& options, std::string* error);
  // The same with the whole contents given.
  Result Replace(const std::string& path, const void* data, std::size_t size,
                 const ReplaceOptions& options, std::string* error);
  // Writes all `size` bytes to `fd`, again after an interruption: kOk or kErrWrite.
  Result WriteAll(int fd, const void* data, std::size_t size);

  // Opens `path` for reading without blocking on a named pipe or a device, and refuses
  // what is not a regular file (errno EINVAL); the descriptor is close-on-exec, blocking
  // again, and positioned at the start. `extraFlags` may add O_NOFOLLOW. -1 and errno.
  int OpenRegular(const std::string& path, int extraFlags = 0);
  // Opens (making it private, 0600, if missing) the regular file `path` for appending,
  // without blocking; -1 and errno as OpenRegular.
  int OpenForAppend(const std::string& path);
  // Opens (making it private, 0600, if missing) the regular file `path`, not following
  // a symbolic link, for taking a lock on it with Lock(); -1 and errno as OpenRegular.
  int OpenForLocking(const std::string& path);

  // Makes the directory `path` private to the user (0700); an existing directory is
  // left as it is. 0, or -1 and errno (ENOTDIR when something else has the name).
  int MakePrivateDirectory(const std::string& path);
  // Makes every missing directory above `path` (the file's own name excluded), 0700.
  void MakePrivateParents(const std::string& path);

  // Removes `path` (ENOENT is not an error) and syncs its directory: kOk, or kErrWrite
  // with the fault in *error.
  Result RemoveFile(const std::string& path, std::string* error);
  // Flushes the directory entry of `path` (best effort: some file systems refuse).
  void SyncDirectoryOf(const std::string& path);
  // Removes the temporaries of `path` that writers killed half way left beside it:
  // regular files named the file's name, `separator` and six characters, that no
  // process holds locked. Returns how many were removed.
  std::size_t RemoveLeftTemporaries(const std::string& path, const std::string& separator);
};

// What a failed open of OpenRegular, OpenForAppend or OpenForLocking means, for a
// message: "not a regular file" for what they refuse, else the system's text.
std::string OpenFault(int err);

}  // namespace tallimor
