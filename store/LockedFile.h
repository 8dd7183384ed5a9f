// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// LockedFile: a record file opened without sharing. The open descriptor holds an
// exclusive lock (flock) on the file, so a second program that opens it while the
// first has it open is refused; and the file is rewritten only by replacing it
// whole (write a temporary file beside it, fsync, rename), so that a crash or a
// full disk during a save leaves the previous file intact.
//
// The lock is taken on the file itself. Because a replace gives the path a new
// file, Open() checks after locking that the locked file is still the one at the
// path and tries again if it is not; Replace() locks the new file before it is
// renamed into place and keeps that lock, so the path is never unlocked while
// the LockedFile is open.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "store/ResultCodes.h"

namespace tallimor {

// What tells one state of a file from another: the file itself and its size and
// modification time. A file replaced or written since has another identity.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = -1;
  std::int64_t modifiedSeconds = 0;
  std::int64_t modifiedNanoseconds = 0;
  bool operator==(const FileIdentity&) const = default;
};

class LockedFile {
 public:
  enum class Mode {
    kReadExisting,       // read only; the file must exist
    kReadWriteExisting,  // read and write; the file must exist
    kReadWriteOrCreate,  // read and write; an empty file is made if there is none
  };

  LockedFile();
  ~LockedFile();  // closes (and unlocks) the file
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  // Opens the regular file at `path` and locks it. kErrOpenFailed when it cannot
  // be opened (missing, not a regular file, no permission) or another program
  // has it open. A file open before is closed first. A symbolic link is followed,
  // and a later Replace() replaces the file it points to.
  Result Open(const std::string& path, Mode mode);
  bool IsOpen() const { return fd_ >= 0; }
  // The open descriptor (positioned at the start after Open), or -1.
  int Descriptor() const { return fd_; }
  // Closes and unlocks the file. Nothing happens if it is not open.
  void Close();

  // Replaces the file's contents by what `write` puts into a fresh temporary
  // file (given as a descriptor) beside it; the temporary gets the file's
  // permissions, is synced to disk and renamed over the file, and stays open and
  // locked as the new file. A non-zero result of `write`, or any failure
  // (kErrWrite), leaves the old file exactly as it was and removes the
  // temporary. kErrFileNotOpen if the file is not open. kErrFileChanged, writing
  // nothing, when the file at the path is no longer the one opened here, or was
  // written since (by a program that ignores the lock, or on a file system without
  // locks).
  Result Replace(const std::function<Result(int fd)>& write);

  // The identity of the open file (as it was opened, or as Replace left it); an
  // empty identity when nothing is open.
  const FileIdentity& Identity() const { return identity_; }
  // The identity of what `fd` refers to now; false when it cannot be had.
  static bool IdentityOf(int fd, FileIdentity* identity);
  // A 64-bit digest of the whole contents of `fd` (read from its start, the file
  // position left alone), to tell whether a file that was replaced holds other bytes;
  // false when it cannot be read.
  static bool ContentDigest(int fd, std::uint64_t* digest);

 private:
  // True when the path still names the open file, and the file is as it was opened.
  bool StillAsOpened() const;

  int fd_ = -1;          // open, locked descriptor, or -1
  std::string path_;     // the file's path with symbolic links resolved
  FileIdentity identity_;  // of the open file when it was opened or last replaced
};

}  // namespace tallimor
