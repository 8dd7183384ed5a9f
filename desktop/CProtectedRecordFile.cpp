// CProtectedRecordFile: deciphering on read, enciphering on write, and the password
// checks against the application information. The cipher transforms records in place;
// the write deciphers them again right after the file is written, so memory never
// holds ciphertext once an operation has returned.
#include "desktop/CProtectedRecordFile.h"

#include <new>
#include <utility>

#include "desktop/PasswordInfo.h"

namespace tallimor {

namespace {

// The store always uses categories (the category table heads the app info data).
constexpr std::uint32_t kProtectedStoreFlags = CPRecordFile::kCategories | CPRecordFile::kAppInfo;

// Load errors after which the header and the app info block have been read whole.
bool AppInfoWasRead(Result loadResult) {
  switch (loadResult) {
    case kErrReadRecordHeader:
    case kErrReadEof:
    case kErrReadFailed:
    case kErrReadShort:
    case kErrOutOfMemory:
    case kErrReadSortInfo:
      return true;
    default:
      return false;
  }
}

}  // namespace

CProtectedRecordFile::CProtectedRecordFile(std::string path, const char* key)
    : CPRecordFile(std::move(path), kProtectedStoreFlags) {
  if (key == nullptr) return;
  cipher_.reset(new (std::nothrow) CBlowfish);
  if (!cipher_) {
    cipherMissing_ = true;
    return;
  }
  cipher_->SetKey(key);
}

CProtectedRecordFile::~CProtectedRecordFile() {
  // The base destructor writes nothing, so this is the store's last chance to save.
  Save();
  cipher_.reset();  // the cipher scrubs its tables as it goes
}

Result CProtectedRecordFile::ReadFile() {
  if (cipherMissing_) return kErrOutOfMemory;  // ciphertext must never pass for memos
  const Result result = CPRecordFile::ReadFile();
  // Records read before an error are deciphered too: left enciphered they would be
  // shown as garbage and enciphered a second time by the next save.
  if (cipher_) DecipherAll();
  return result;
}

Result CProtectedRecordFile::WriteFile() {
  if (cipherMissing_) return kErrOutOfMemory;
  if (!cipher_) return CPRecordFile::WriteFile();
  // The record file writes nothing when nothing is dirty; spare the cipher passes then.
  const CPCategoryTable* table = Categories();
  if (!IsDirty() && !(table && table->IsDirty())) return kOk;
  EncipherAll();
  const Result result = CPRecordFile::WriteFile();
  // Whatever the write did, memory goes back to plain memos: a failed save must leave
  // the user's edits readable and ready for another attempt.
  DecipherAll();
  return result;
}

void CProtectedRecordFile::DecipherAll() {
  const std::int32_t end = HighWater();
  for (std::int32_t slot = 0; slot < end; ++slot) {
    CPRecord* record = RecordAt(slot);
    if (record && record->Data()) cipher_->DecryptBytes(record->Data(), record->DataLength());
  }
}

void CProtectedRecordFile::EncipherAll() {
  const std::int32_t end = HighWater();
  for (std::int32_t slot = 0; slot < end; ++slot) {
    CPRecord* record = RecordAt(slot);
    if (record && record->Data()) cipher_->EncryptBytes(record->Data(), record->DataLength());
  }
}

const InfoBlock* CProtectedRecordFile::LoadPasswordBlock(Result& loadResult) {
  loadResult = Load();
  if (loadResult == kOk) return AppInfo();
  // A damaged record further on does not hide the digest that was read: answering
  // "protected and matching" then would let any password open a protected file.
  return AppInfoWasRead(loadResult) ? AppInfo() : nullptr;
}

Result CProtectedRecordFile::HasPassword() {
  Result loadResult = kOk;
  const InfoBlock* appInfo = LoadPasswordBlock(loadResult);
  if (appInfo == nullptr) return loadResult;
  return ReadPasswordInfo(appInfo->Data(), appInfo->Used()).IsSet() ? 1 : 0;
}

Result CProtectedRecordFile::GetHint(std::string* hint) {
  hint->clear();
  Result loadResult = kOk;
  const InfoBlock* appInfo = LoadPasswordBlock(loadResult);
  if (appInfo != nullptr) *hint = ReadPasswordInfo(appInfo->Data(), appInfo->Used()).hint;
  return loadResult;
}

Result CProtectedRecordFile::CheckPassword(const char* password) {
  Result loadResult = kOk;
  const InfoBlock* appInfo = LoadPasswordBlock(loadResult);
  if (appInfo == nullptr) return loadResult == kOk ? 1 : loadResult;
  PasswordInfo info = ReadPasswordInfo(appInfo->Data(), appInfo->Used());
  const bool matches = PasswordMatches(password, info.digest);
  WipeSecret(info.digest.data(), info.digest.size());
  return matches ? 1 : 0;
}

}  // namespace tallimor
