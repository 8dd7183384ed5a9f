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
  // temporary. kErrFileNotOpen if the file is not open.
  Result Replace(const std::function<Result(int fd)>& write);

 private:
  int fd_ = -1;          // open, locked descriptor, or -1
  std::string path_;     // the file's path with symbolic links resolved
};

}  // namespace tallimor
