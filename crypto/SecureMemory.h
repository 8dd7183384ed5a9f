// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping key material out of swap and core files, and wiping it. The buffers that hold
// a cipher's key schedule or a password digest are locked into memory (mlock) and left
// out of core dumps (MADV_DONTDUMP) for as long as they live, and wiped when released.
// Locking works on whole pages that other objects may share, so each page is counted:
// it stays locked until the last buffer on it is released.
#pragma once

#include <cstddef>

namespace tallimor {

class SecureMemory {
 public:
  // Overwrites length bytes with zeros in a way the compiler cannot drop as a dead store.
  static void Wipe(void* data, std::size_t length);

  // Locks the pages under [data, data + length) into memory and leaves them out of core
  // dumps. Best effort: a system that refuses (RLIMIT_MEMLOCK reached, no such advice)
  // leaves the bytes as they were, and false says so. Each Lock is paired with one
  // Unlock of the same range.
  static bool Lock(const void* data, std::size_t length);

  // Releases what Lock took for the same range; pages still shared with another locked
  // range stay locked. Does not wipe: call Wipe first.
  static void Unlock(const void* data, std::size_t length);

  // How many pages are locked through Lock now (for the tests).
  static std::size_t LockedPageCount();
};

}  // namespace tallimor
