// Reads a record file for tallimor-dump with the store's own reader, keeping the
// records in file order rather than in a slot list.
#include "tools/tallimor-dump/DumpedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace tallimor {

Result ReadDumpedFile(const std::string& path, DumpedFile& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    out.openError = std::strerror(errno);
    return kErrOpenFailed;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    out.openError = "not a regular file";
    ::close(fd);
    return kErrOpenFailed;
  }
  out.readResult = ReadRecordFile(fd, out.contents, [&out](std::unique_ptr<CPRecord> record) {
    try {
      out.records.push_back(std::move(record));
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    return kOk;
  });
  ::close(fd);
  out.headerRead = out.contents.header != nullptr && out.readResult != kErrReadHeader;

  const InfoBlock* appInfo = out.contents.appInfo.get();
  if (appInfo && appInfo->Used() >= kCategoryTableSize) {
    out.hasCategories = true;
    out.categoryResult = out.categories.Load(appInfo->Data(), appInfo->Used());
  }
  return out.readResult != kOk ? out.readResult : out.categoryResult;
}

}  // namespace tallimor
