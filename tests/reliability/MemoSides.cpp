// Reading both sides with the readers the programs themselves use.
#include "tests/reliability/MemoSides.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "desktop/CProtectedRecordFile.h"
#include "desktop/StoredMemo.h"
#include "hotsync/handheld/Handheld.h"
#include "tools/tallimor-handheld/MemoDatabase.h"

namespace tallimor::reliability {

SideMemos ReadDesktopMemos(const std::string& recordFile) {
  SideMemos side;
  CProtectedRecordFile file(recordFile, kPassword);
  // The password check loads the file and answers "matching" for a file it cannot
  // read; the load after it tells a torn file apart and leaves the records in memory.
  if (file.CheckPassword(kPassword) != 1) {
    side.error = recordFile + ": the password no longer matches";
    return side;
  }
  const Result loaded = file.Load();
  if (loaded != kOk) {
    side.error = recordFile + ": load failed with " + std::to_string(loaded);
    return side;
  }
  for (CPRecord* record = file.FirstRecord(); record != nullptr; record = file.NextRecord()) {
    const std::string text(StoredMemoText(*record));
    if (record->IsArchived()) {
      side.archived.push_back(text);
    } else if (!record->IsDeleted()) {
      side.live.push_back(text);
    }
  }
  std::sort(side.live.begin(), side.live.end());
  std::sort(side.archived.begin(), side.archived.end());
  side.ok = true;
  return side;
}

SideMemos ReadHandheldMemos(const std::string& directory) {
  SideMemos side;
  std::unique_ptr<Handheld> handheld;
  std::unique_ptr<HandheldDatabase> db;
  std::unique_ptr<MemoDatabase> memos;
  if (Handheld::Open(directory, &handheld, &side.error) != kSyncErrNone ||
      handheld->LoadDatabase(kMemoDatabase, &db, &side.error) != kSyncErrNone ||
      MemoDatabase::Adopt(std::move(db), &memos, &side.error) != kOk) {
    side.error = directory + ": " + side.error;
    return side;
  }
  if (!memos->Unlock(kPassword)) {
    side.error = directory + ": the password no longer matches";
    return side;
  }
  memos->database().ForEachRecord([&](const PdbRecord& record) {
    if (record.archived()) {
      side.archived.push_back(memos->MemoText(record));
    } else if (!record.deleted()) {
      side.live.push_back(memos->MemoText(record));
    }
  });
  std::sort(side.live.begin(), side.live.end());
  std::sort(side.archived.begin(), side.archived.end());
  side.ok = true;
  return side;
}

std::vector<std::string> Missing(const std::vector<std::string>& expected,
                                 const std::vector<std::string>& actual) {
  std::vector<std::string> missing;
  std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(),
                      std::back_inserter(missing));
  return missing;
}

std::string Join(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) {
    if (!joined.empty()) joined += ", ";
    joined += '"' + text + '"';
  }
  return joined;
}

}  // namespace tallimor::reliability
