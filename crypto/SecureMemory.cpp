// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Page counts under one mutex: Lock and Unlock come from whichever thread builds or
// drops a cipher, and pages are few (one cipher's tables span two), so a map suffices.
#include "crypto/SecureMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>

namespace tallimor {
namespace {

std::mutex& PagesMutex() {
  static std::mutex mutex;
  return mutex;
}

// Page address -> how many live locked ranges touch it.
std::map<std::uintptr_t, std::size_t>& Pages() {
  static std::map<std::uintptr_t, std::size_t> pages;
  return pages;
}

std::uintptr_t PageSize() {
  static const std::uintptr_t size = [] {
    const long value = sysconf(_SC_PAGESIZE);
    return value > 0 ? static_cast<std::uintptr_t>(value) : std::uintptr_t{4096};
  }();
  return size;
}

// Calls change(page address, page size) for every page under the range.
template <typename Change>
void ForEachPage(const void* data, std::size_t length, Change change) {
  const std::uintptr_t page = PageSize();
  const auto start = reinterpret_cast<std::uintptr_t>(data) & ~(page - 1);
  const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(data) + length;
  for (std::uintptr_t at = start; at < end; at += page) change(at, page);
}

}  // namespace

void SecureMemory::Wipe(void* data, std::size_t length) {
  if (data != nullptr && length > 0) explicit_bzero(data, length);
}

bool SecureMemory::Lock(const void* data, std::size_t length) {
  if (data == nullptr || length == 0) return true;
  std::lock_guard<std::mutex> guard(PagesMutex());
  bool all = true;
  ForEachPage(data, length, [&all](std::uintptr_t at, std::uintptr_t page) {
    std::size_t& count = Pages()[at];
    if (count++ > 0) return;
    auto* address = reinterpret_cast<void*>(at);
    if (mlock(address, page) != 0) all = false;
#ifdef MADV_DONTDUMP
    if (madvise(address, page, MADV_DONTDUMP) != 0) all = false;
#endif
  });
  return all;
}

void SecureMemory::Unlock(const void* data, std::size_t length) {
  if (data == nullptr || length == 0) return;
  std::lock_guard<std::mutex> guard(PagesMutex());
  ForEachPage(data, length, [](std::uintptr_t at, std::uintptr_t page) {
    auto found = Pages().find(at);
    if (found == Pages().end()) return;  // never locked through Lock
    if (--found->second > 0) return;
    Pages().erase(found);
    auto* address = reinterpret_cast<void*>(at);
    munlock(address, page);
#ifdef MADV_DODUMP
    madvise(address, page, MADV_DODUMP);
#endif
  });
}

std::size_t SecureMemory::LockedPageCount() {
  std::lock_guard<std::mutex> guard(PagesMutex());
  return Pages().size();
}

}  // namespace tallimor
