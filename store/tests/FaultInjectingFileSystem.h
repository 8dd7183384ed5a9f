// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Test support: a file system that behaves like the real one but fails a chosen call
// (the Nth of one kind, or of any kind) with a chosen errno. While one exists it is
// the process's FileSystem::Default(), so every writer's faults come from it; the
// counts let a test first run a write cleanly, then fail each of its calls in turn.
#pragma once

#include <cerrno>
#include <cstddef>
#include <map>
#include <string>

#include "store/FileSystem.h"

namespace tallimor {

class FaultInjectingFileSystem : public FileSystem {
 public:
  FaultInjectingFileSystem() : previous_(SetDefault(this)) {}
  ~FaultInjectingFileSystem() override { SetDefault(previous_); }

  // Fails the `nth` call (1-based, counted from now) of `kind` (kAny: of any kind) with
  // `err`; when `sticky`, every later call of that kind fails too. Clears the counts.
  void FailCall(FileCall kind, int nth, int err, bool sticky = false) {
    calls_.clear();
    failKind_ = kind;
    failAt_ = nth;
    errno_ = err;
    sticky_ = sticky;
    failures_ = 0;
  }
  // Stops failing calls; the counts go on.
  void Heal() { failAt_ = 0; }

  // Calls of `kind` (kAny: all calls) since the last FailCall().
  int Calls(FileCall kind = FileCall::kAny) const {
    const auto found = calls_.find(kind);
    return found == calls_.end() ? 0 : found->second;
  }
  // How many calls were failed since the last FailCall(), and the kind of the last.
  int Failures() const { return failures_; }
  FileCall LastFailed() const { return lastFailed_; }

  int Open(const std::string& path, int flags, mode_t mode) override {
    return Fails(FileCall::kOpen) ? -1 : FileSystem::Open(path, flags, mode);
  }
  int CreateTemporary(std::string* pattern) override {
    return Fails(FileCall::kCreateTemporary) ? -1 : FileSystem::CreateTemporary(pattern);
  }
  ssize_t Write(int fd, const void* data, std::size_t size) override {
    return Fails(FileCall::kWrite) ? -1 : FileSystem::Write(fd, data, size);
  }
  int Sync(int fd) override { return Fails(FileCall::kSync) ? -1 : FileSystem::Sync(fd); }
  int SetMode(int fd, mode_t mode) override {
    return Fails(FileCall::kSetMode) ? -1 : FileSystem::SetMode(fd, mode);
  }
  int Lock(int fd, int operation) override {
    return Fails(FileCall::kLock) ? -1 : FileSystem::Lock(fd, operation);
  }
  int Rename(const std::string& from, const std::string& to) override {
    return Fails(FileCall::kRename) ? -1 : FileSystem::Rename(from, to);
  }
  int Link(const std::string& from, const std::string& to) override {
    return Fails(FileCall::kLink) ? -1 : FileSystem::Link(from, to);
  }
  int Remove(const std::string& path) override {
    return Fails(FileCall::kRemove) ? -1 : FileSystem::Remove(path);
  }
  int MakeDirectory(const std::string& path, mode_t mode) override {
    return Fails(FileCall::kMakeDirectory) ? -1 : FileSystem::MakeDirectory(path, mode);
  }
  int SyncDirectory(const std::string& directory) override {
    return Fails(FileCall::kSyncDirectory) ? -1 : FileSystem::SyncDirectory(directory);
  }

 private:
  // Counts the call and says whether it is the one to fail (errno set when it is).
  bool Fails(FileCall kind) {
    ++calls_[FileCall::kAny];
    const int nth = ++calls_[kind];
    if (failAt_ <= 0 || (failKind_ != FileCall::kAny && failKind_ != kind)) return false;
    const int counted = failKind_ == FileCall::kAny ? calls_[FileCall::kAny] : nth;
    if (counted == failAt_ || (sticky_ && counted > failAt_)) {
      ++failures_;
      lastFailed_ = kind;
      errno = errno_;
      return true;
    }
    return false;
  }

  FileSystem* previous_;                // Default() before this one, restored at the end
  std::map<FileCall, int> calls_;       // calls by kind, and all calls under kAny
  FileCall failKind_ = FileCall::kAny;  // the kind of call to fail
  int failAt_ = 0;                      // which of them (1-based); 0: none
  int errno_ = EIO;                     // what the failed call reports
  bool sticky_ = false;                 // later calls fail too
  int failures_ = 0;                    // calls failed so far
  FileCall lastFailed_ = FileCall::kAny;  // the kind of the last call failed
};

}  // namespace tallimor
