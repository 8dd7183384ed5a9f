// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CProtectedRecordFile: deciphering on read, enciphering on write, and the password
// checks against the application information. The cipher transforms records in place;
// the write deciphers them again right after the file is written, so memory never
// holds ciphertext once an operation has returned.
#include "protect/CProtectedRecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <utility>

#include "protect/NewRecordFile.h"
#include "protect/PasswordInfo.h"
#include "store/FileSystem.h"

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

// Missing, as opposed to there but not openable now (locked by the conduit, say).
bool FileIsMissing(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

// The directory of `path` and the one above it (the user's HotSync directory, which
// a user who has never synchronised may not have yet), private to the user.
void MakeDataDirectory(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return;
  const std::string directory = path.substr(0, slash);
  const std::size_t above = directory.rfind('/');
  FileSystem* fs = FileSystem::Default();
  if (above != std::string::npos && above > 0) fs->MakePrivateDirectory(directory.substr(0, above));
  fs->MakePrivateDirectory(directory);
}

}  // namespace

CProtectedRecordFile::CProtectedRecordFile(std::string path, const char* key)
    : CPRecordFile(std::move(path), kProtectedStoreFlags) {
  if (key == nullptr) return;
  keyDigest_ = PasswordDigest(key);
  std::unique_ptr<CBlowfish> cipher(new (std::nothrow) CBlowfish);
  if (cipher) {
    cipher->SetKey(key);
    try {
      cipher_ = std::move(cipher);
    } catch (const std::bad_alloc&) {
      cipher_.reset();
    }
  }
  cipherMissing_ = cipher_ == nullptr;
}

CProtectedRecordFile::CProtectedRecordFile(const CProtectedRecordFile& keyedAs, SiblingTag)
    : CPRecordFile(keyedAs.Path(), kProtectedStoreFlags),
      cipher_(keyedAs.cipher_),
      cipherMissing_(keyedAs.cipherMissing_),
      keyDigest_(keyedAs.keyDigest_) {}

CProtectedRecordFile::~CProtectedRecordFile() {
  // The base destructor writes nothing, so this is the store's last chance to save.
  Save();
  cipher_.reset();  // the cipher scrubs its tables as it goes
  WipeSecret(keyDigest_.data(), keyDigest_.size());
}

Result CProtectedRecordFile::Load() {
  readInPart_ = false;
  madeFile_ = false;
  madeImage_.clear();
  const Result loaded = CPRecordFile::Load();
  changes_.Remember(*this);
  return loaded;
}

void CProtectedRecordFile::DiscardEdits() {
  SetDirty(false);
  if (CPCategoryTable* table = Categories()) table->SetDirty(false);
}

Result CProtectedRecordFile::ReloadWithEdits(std::unique_ptr<CProtectedRecordFile>* reloaded,
                                             UnsavedChangeCounts* counts) {
  reloaded->reset();
  *counts = UnsavedChangeCounts{};
  Result result = changes_.Collect(*this);
  if (result != kOk) return result;
  std::unique_ptr<CProtectedRecordFile> fresh(new (std::nothrow) CProtectedRecordFile(*this, SiblingTag{}));
  if (!fresh) return kErrOutOfMemory;
  result = fresh->Load();
  // A file without a category table (made by earlier versions before the first
  // HotSync) has every record read.
  if (result != kOk && result != kErrNoAppInfoForCategories) return result;
  // Read with this key, a file under another password shows garbage: nothing of it
  // may be written back, and the edits stay here.
  const InfoBlock* appInfo = fresh->AppInfo();
  PasswordInfo info = appInfo != nullptr ? ReadPasswordInfo(appInfo->Data(), appInfo->Used()) : PasswordInfo{};
  // A file without the block says nothing of its password; it is read as the first
  // load of this store read it.
  const bool sameKey = appInfo == nullptr || info.digest == keyDigest_;
  WipeSecret(info.digest.data(), info.digest.size());
  if (!sameKey) {
    fresh->DiscardEdits();
    return kErrStoreKeyChanged;
  }
  result = changes_.ApplyTo(*fresh, counts);
  if (result == kOk) result = fresh->Save();
  if (result != kOk) {
    fresh->DiscardEdits();
    return result;
  }
  // The same save-then-load as every save of the store: what is shown is what was read.
  fresh->Load();
  *reloaded = std::move(fresh);
  return kOk;
}

Result CProtectedRecordFile::ReadFile() {
  if (cipherMissing_) return kErrOutOfMemory;  // ciphertext must never pass for memos
  const Result result = CPRecordFile::ReadFile();
  madeFile_ = false;
  readInPart_ = result != kOk;
  // Records read before an error are deciphered too: left enciphered they would be
  // shown as garbage and enciphered a second time by the next save.
  if (cipher_) DecipherAll();
  return result;
}

Result CProtectedRecordFile::WriteFile() {
  if (cipherMissing_) return kErrOutOfMemory;
  // The record file writes nothing when nothing is dirty; spare the checks and the
  // cipher passes then.
  const CPCategoryTable* table = Categories();
  if (!IsDirty() && !(table && table->IsDirty())) return kOk;
  if (readInPart_) return kErrStoreReadInPart;
  if (HasNoFileYet()) {
    if (FileIsMissing(Path())) {
      const Result made = MakeFile();
      if (made != kOk) return made;
    } else if (Header() == nullptr) {
      // A file appeared that this store never read (a first HotSync made it): the
      // record file would write nothing and report success, and writing over it would
      // lose what it holds.
      return kErrFileChanged;
    }
  }
  Result result = kOk;
  if (!cipher_) {
    result = CPRecordFile::WriteFile();
  } else {
    EncipherAll();
    result = CPRecordFile::WriteFile();
    // Whatever the write did, memory goes back to plain memos: a failed save must leave
    // the user's edits readable and ready for another attempt.
    DecipherAll();
  }
  // A file this store made and could not fill goes again, so that the next HotSync
  // still finds no file and copies the handheld's data whole.
  if (result != kOk && madeFile_) RemoveFileIfUnchanged(Path(), madeImage_);
  if (result == kOk) changes_.Remember(*this);
  return result;
}

Result CProtectedRecordFile::MakeFile() {
  MakeDataDirectory(Path());
  std::vector<std::uint8_t> image;
  Result result = MakeNewRecordFileImage(keyDigest_, PalmTimeNow(), &image);
  if (result != kOk) return result;
  // Placed only where there is no file: a file that appeared since the check is
  // somebody's data.
  if (PlaceNewFile(Path(), image) != kOk) return kErrWrite;
  if (File().Open(Path(), LockedFile::Mode::kReadWriteExisting) != kOk) {
    RemoveFileIfUnchanged(Path(), image);
    return kErrWrite;
  }
  // The record file's own read, not this class's: the records in memory are plain and
  // must not be deciphered. The new file holds no record, so none is added.
  const std::int32_t records = RecordCount();
  const Result read = CPRecordFile::ReadFile();
  SetDirty(true);
  if (read != kOk || Header() == nullptr || RecordCount() != records) {
    RemoveFileIfUnchanged(Path(), image);
    return kErrWrite;
  }
  // The memos typed so far stay Unfiled; from now on the user has the category table.
  if (Categories() == nullptr) BuildCategoryTable();
  madeFile_ = true;
  madeImage_ = std::move(image);
  return kOk;
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
