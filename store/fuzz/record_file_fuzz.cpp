// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the record file reader: arbitrary bytes are read as record.dat.
// Besides never crashing, whatever was read must write back as a file that reads
// again to the same records, and a category table found in the app info data
// must store and load again to an equal table.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "store/CPCategoryTable.h"
#include "store/RecordFileFormat.h"

namespace {

using tallimor::CPRecord;
using tallimor::Result;

// A file in memory holding `bytes`, positioned at its start; -1 on failure.
int MemoryFile(const std::uint8_t* bytes, std::size_t size) {
  const int fd = ::memfd_create("record.dat", MFD_CLOEXEC);
  if (fd < 0) return -1;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = ::write(fd, bytes + done, size - done);
    if (put <= 0) {
      ::close(fd);
      return -1;
    }
    done += static_cast<std::size_t>(put);
  }
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

Result ReadAll(int fd, tallimor::RecordFileContents& contents,
               std::vector<std::unique_ptr<CPRecord>>& records) {
  return tallimor::ReadRecordFile(fd, contents, [&records](std::unique_ptr<CPRecord> record) {
    records.push_back(std::move(record));
    return tallimor::kOk;
  });
}

bool SameRecord(const CPRecord& a, const CPRecord& b) {
  return a.Compare(b) == 0 && a.Id() == b.Id() && a.Status() == b.Status();
}

void CheckCategories(const tallimor::InfoBlock& appInfo) {
  tallimor::CPCategoryTable table;
  if (table.Load(appInfo.Data(), appInfo.Used()) != tallimor::kOk) return;
  std::uint8_t stored[tallimor::kCategoryTableSize];
  std::uint32_t size = sizeof stored;
  if (table.Store(stored, size) != tallimor::kOk) __builtin_trap();
  tallimor::CPCategoryTable again;
  if (again.Load(stored, size) != tallimor::kOk || !again.Equals(table)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = MemoryFile(data, size);
  if (fd < 0) return 0;
  tallimor::RecordFileContents contents;
  std::vector<std::unique_ptr<CPRecord>> records;
  ReadAll(fd, contents, records);
  ::close(fd);

  if (contents.appInfo && contents.appInfo->Used() >= tallimor::kCategoryTableSize) {
    CheckCategories(*contents.appInfo);
  }

  // Write what was read and read it back.
  const int out = ::memfd_create("again.dat", MFD_CLOEXEC);
  if (out < 0) return 0;
  std::size_t next = 0;
  const Result written = tallimor::WriteRecordFile(
      out, *contents.header, contents.appInfo.get(), contents.sortInfo.get(),
      static_cast<std::int32_t>(records.size()),
      [&]() -> const CPRecord* { return next < records.size() ? records[next++].get() : nullptr; },
      tallimor::StoredFlagsPolicy::kFromRecord);
  if (written != tallimor::kOk) __builtin_trap();
  ::lseek(out, 0, SEEK_SET);
  tallimor::RecordFileContents again;
  std::vector<std::unique_ptr<CPRecord>> reread;
  if (ReadAll(out, again, reread) != tallimor::kOk) __builtin_trap();
  ::close(out);
  if (reread.size() != records.size()) __builtin_trap();
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!SameRecord(*records[i], *reread[i])) __builtin_trap();
  }
  return 0;
}
