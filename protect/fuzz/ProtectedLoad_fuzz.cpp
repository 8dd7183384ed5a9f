// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the protected load path: a random record file opened with a random
// key through the password check, the hint and a keyed load. Whatever loads must come
// through a save and a second load with the same memos, so deciphering and enciphering
// stay each other's inverse on every record shape, tails and empty records included.
//
// Input: one flags byte (bit 0: key the store; bit 1: also save and reload), one key
// length byte (taken modulo 73), the key bytes (up to the first NUL), then the file.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "protect/CProtectedRecordFile.h"
#include "protect/UserStore.h"

namespace {

std::string ScratchPath() {
  // tmpfs when there is one: the save path syncs the file to disk.
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/tallimor-protected-fuzz-" + std::to_string(getpid()) + ".dat";
}

bool WriteAll(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

std::vector<std::vector<std::uint8_t>> Memos(tallimor::CProtectedRecordFile& store) {
  std::vector<std::vector<std::uint8_t>> memos;
  for (tallimor::CPRecord* r = store.FirstRecord(); r != nullptr; r = store.NextRecord()) {
    memos.emplace_back(r->Data(), r->Data() + r->DataLength());
  }
  return memos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t flags = data[0];
  std::size_t keyLength = data[1] % 73;
  if (keyLength > size - 2) keyLength = size - 2;
  const std::string key(reinterpret_cast<const char*>(data + 2), keyLength);  // cut at a NUL by c_str()
  const std::uint8_t* file = data + 2 + keyLength;
  const std::size_t fileSize = size - 2 - keyLength;

  static const std::string path = ScratchPath();
  if (!WriteAll(path, file, fileSize)) return 0;

  std::string hint;
  tallimor::ReadUserHint(path, &hint);
  const tallimor::UserPasswordCheck check = tallimor::CheckUserPassword(path, key.c_str());
  const bool keyed = (flags & 1) != 0 || check.keyed;

  {
    tallimor::CProtectedRecordFile store(path, keyed ? key.c_str() : nullptr);
    if (store.Load() == tallimor::kOk && (flags & 2) != 0) {
      const std::vector<std::vector<std::uint8_t>> before = Memos(store);
      store.SetDirty(true);
      if (store.Save() == tallimor::kOk) {
        if (Memos(store) != before) abort();  // a save must leave memory plain
        if (store.Load() != tallimor::kOk || Memos(store) != before) abort();
      }
    }
  }
  std::remove(path.c_str());
  return 0;
}
