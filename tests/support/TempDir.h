// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A scratch directory for one test, fixture or suite: made fresh under $TMPDIR (or
// /tmp), and removed with everything in it when the TempDir goes, so that no test
// leaves files behind or sees another's.
#pragma once

#include <string>
#include <string_view>

namespace tallimor::testing {

class TempDir {
 public:
  // Makes "<parent>/tallimor-<purpose>-XXXXXX"; the parent is $TMPDIR, else /tmp.
  // Throws std::runtime_error (a failed test, not a silent one) when it cannot.
  explicit TempDir(std::string_view purpose = "test");
  // The same under a parent of the caller's choice (a memory-backed one, say).
  TempDir(std::string_view purpose, const std::string& parent);
  ~TempDir();  // removes the directory and all in it, unless Release() was called

  TempDir(TempDir&& other) noexcept;
  TempDir& operator=(TempDir&& other) noexcept;
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // `relative` under the directory ("a/b.dat" -> "<path>/a/b.dat").
  std::string Join(std::string_view relative) const;

  // The whole content of `relative`, empty when it cannot be read.
  std::string Read(std::string_view relative) const;
  // Replaces `relative` with `content`, making the folders on its way; false on failure.
  bool Write(std::string_view relative, std::string_view content) const;

  // Hands the directory over to the caller, who removes it; returns its path.
  std::string Release();

  // The parent new directories are made in: $TMPDIR when set, else /tmp.
  static std::string DefaultParent();
  // A memory-backed parent (/dev/shm) where the machine has one, else DefaultParent():
  // for tests that flush many files.
  static std::string MemoryParent();
  // Removes `path` and all in it, first giving back the owner's rights a test took away.
  static void RemoveTree(const std::string& path);

 private:
  std::string path_;  // empty once released or moved from
};

// The whole content of the file at `path`, empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Replaces the file at `path` with `content`; false on failure.
bool WriteWholeFile(const std::string& path, std::string_view content);

}  // namespace tallimor::testing
