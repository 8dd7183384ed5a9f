// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Making the record.dat of a user before the first HotSync: the image is built with the
// store's own format code (header encoder, info block, category table), so it reads back
// like any file the conduit wrote. The file is linked into place from a locked temporary,
// which fails when the name is taken: a HotSync that wrote the file meanwhile wins.
#include "protect/NewRecordFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>

#include "store/CPCategoryTable.h"
#include "store/FileSystem.h"
#include "store/RecordFileFormat.h"

namespace tallimor {
namespace {

// Seconds from 1904-01-01 (the handheld's epoch) to 1970-01-01.
constexpr std::int64_t kPalmEpochOffset = 2082844800;

// The app info data: the category table, four bytes the desktop does not use, the
// digest and the hint's NUL.
constexpr std::uint32_t kNewAppInfoSize = kPasswordHintOffset + 1;

}  // namespace

std::uint32_t PalmTimeNow() {
  return static_cast<std::uint32_t>(static_cast<std::int64_t>(std::time(nullptr)) + kPalmEpochOffset);
}

Result MakeNewRecordFileImage(const std::array<std::uint8_t, kPasswordDigestSize>& digest,
                              std::uint32_t palmNow, std::vector<std::uint8_t>* image) {
  image->clear();
  std::unique_ptr<InfoBlock> appInfo = InfoBlock::Create(kNewAppInfoSize, kMemoDatabaseName);
  if (!appInfo) return kErrOutOfMemory;

  // The handheld's new memo database holds Unfiled alone, with id 0 and nothing marked.
  CPCategoryTable table;
  CPCategory unfiled;
  unfiled.SetIndex(0);
  unfiled.SetId(0);
  unfiled.SetName(kUnfiledCategoryName);
  Result result = table.Add(unfiled);
  if (result != kOk) return result;
  std::uint32_t size = kCategoryTableSize;
  result = table.Store(appInfo->Data(), size);
  if (result != kOk) return result;
  std::memcpy(appInfo->Data() + kPasswordDigestOffset, digest.data(), digest.size());
  appInfo->Data()[kPasswordHintOffset] = 0;  // an empty hint
  appInfo->SetUsed(kNewAppInfoSize);

  RecordFileHeader header;
  header.version = 1;
  std::memcpy(header.name, kMemoDatabaseName, sizeof kMemoDatabaseName);
  header.creator = kMemoDatabaseCreator;
  header.type = kMemoDatabaseType;
  header.flags = kMemoDatabaseAttributes;
  header.createDate = palmNow;
  header.modDate = palmNow;
  header.recordCount = 0;
  header.appInfoLength = appInfo->Size();
  header.sortInfoLength = 0;

  try {
    image->resize(kRecordFileHeaderSize);
    header.Encode(image->data());
    image->insert(image->end(), appInfo->Bytes(), appInfo->Bytes() + appInfo->Size());
  } catch (const std::bad_alloc&) {
    image->clear();
    return kErrOutOfMemory;
  }
  return kOk;
}

Result PlaceNewFile(const std::string& path, const std::vector<std::uint8_t>& image) {
  if (path.empty()) return kErrWrite;
  // Linked into place, since link() refuses a name that is taken, which rename() would
  // silently replace; the temporary is locked as the store's writers lock theirs, so
  // that no writer clears it away as one left by a killed program while it is written.
  FileSystem::ReplaceOptions options;
  options.separator = ".";
  options.mode = 0600;
  options.exclusive = true;
  options.lockRequired = true;
  return FileSystem::Default()->Replace(path, image.data(), image.size(), options, nullptr) == kOk ? kOk
                                                                                               : kErrWrite;
}

void RemoveFileIfUnchanged(const std::string& path, const std::vector<std::uint8_t>& image) {
  FileSystem* fs = FileSystem::Default();
  const int fd = fs->OpenRegular(path, O_NOFOLLOW);
  if (fd < 0) return;
  struct stat st {};
  bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              static_cast<std::size_t>(st.st_size) == image.size();
  if (same) {
    std::vector<std::uint8_t> bytes(image.size() + 1);
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    same = got == image.size() && std::memcmp(bytes.data(), image.data(), got) == 0;
  }
  ::close(fd);
  if (same) fs->Remove(path);
}

}  // namespace tallimor
