// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The handheld memo application's changes to its database: memos kept in the stored
// memo form and enciphered with the password, attributes marked for the next HotSync,
// categories with renamed flags and handheld ids, and the password digest and hint.
#include "tools/tallimor-handheld/MemoDatabase.h"

#include <utility>

#include "crypto/CMD5.h"
#include "protect/StoredMemo.h"
#include "hotsync/handheld/SyncManager.h"
#include "store/ByteOrder.h"
#include "store/Cp932Bytes.h"

namespace tallimor {
namespace {

constexpr std::size_t kCategoryBlockEnd = kCategoryTableSize;     // 276
constexpr std::size_t kKeptBytesEnd = kPasswordDigestOffset;      // 280: 4 bytes kept as they are

Result Fail(std::string* error, Result code, std::string text) {
  if (error != nullptr) *error = std::move(text);
  return code;
}

std::string IdText(std::uint32_t id) { return std::to_string(id); }

// Number of characters in code page 932 text: a lead byte and its trail byte count one.
std::size_t CharacterCount(const std::string& text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i, ++count) {
    if (IsCp932LeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ++i;
  }
  return count;
}

std::uint8_t WithDirty(std::uint8_t attributes) { return static_cast<std::uint8_t>(attributes | kPdbRecDirty); }

}  // namespace

MemoDatabase::MemoDatabase(std::unique_ptr<HandheldDatabase> db) : db_(std::move(db)) {}

MemoDatabase::~MemoDatabase() { WipeSecret(digest_.data(), digest_.size()); }

std::unique_ptr<MemoDatabase> MemoDatabase::CreateNew(std::uint32_t nowPalm) {
  PdbHeader header;
  header.name = kDatabaseName;
  header.attributes = kPdbAttrBackup;
  header.creationDate = nowPalm;
  header.modificationDate = nowPalm;
  header.type = kType;
  header.creator = kCreator;
  std::unique_ptr<MemoDatabase> memo(new MemoDatabase(std::make_unique<HandheldDatabase>(header)));
  CPCategory unfiled;
  unfiled.SetIndex(0);
  unfiled.SetId(0);
  unfiled.SetName(kUnfiledName);
  memo->categories_.Add(unfiled);
  memo->WriteCategoryTable();
  memo->WritePasswordInfo();
  return memo;
}

Result MemoDatabase::Adopt(std::unique_ptr<HandheldDatabase> db, std::unique_ptr<MemoDatabase>* out,
                           std::string* error) {
  const PdbHeader& header = db->header();
  if (db->isResourceDatabase() || header.creator != kCreator || header.type != kType) {
    return Fail(error, kErrNotSupported,
                "it is not the memo database (creator " + FourCcText(header.creator) + ", type " +
                    FourCcText(header.type) + (db->isResourceDatabase() ? ", a resource database" : "") +
                    "; expected creator Tlmr, type DATA)");
  }
  std::unique_ptr<MemoDatabase> memo(new MemoDatabase(std::move(db)));
  const Result read = memo->ReadAppInfo(error);
  if (read != kOk) return read;
  *out = std::move(memo);
  return kOk;
}

Result MemoDatabase::ReadAppInfo(std::string* error) {
  const auto& block = db_->appInfo();
  if (!block || block->size() < kCategoryBlockEnd) {
    return Fail(error, kErrNoAppInfoForCategories,
                "its application information is too short to hold the category table (" +
                    std::to_string(block ? block->size() : 0) + " bytes, at least 276 needed)");
  }
  const Result loaded = categories_.Load(block->data(), static_cast<std::uint32_t>(block->size()));
  if (loaded != kOk) {
    return Fail(error, loaded, "its category table cannot be read: " + std::string(ResultMeaning(loaded)));
  }
  lastCategoryId_ = (*block)[kCategoryTableLastIdOffset];
  PasswordInfo info = ReadPasswordInfo(block->data(), block->size());
  digest_ = info.digest;
  hint_ = std::move(info.hint);
  WipeSecret(info.digest.data(), info.digest.size());
  return kOk;
}

void MemoDatabase::WriteCategoryTable() {
  std::vector<std::uint8_t> block = db_->appInfo().value_or(std::vector<std::uint8_t>());
  if (block.size() < kCategoryBlockEnd) block.resize(kCategoryBlockEnd);
  std::uint32_t size = kCategoryTableSize;
  categories_.Store(block.data(), size);
  // The table's own store leaves the renamed flags and the last id to its owner.
  const std::uint16_t renamed = categories_.ChangedWord();
  EncodeFixed16BE(block.data(), renamed);
  block[kCategoryTableLastIdOffset] = lastCategoryId_;
  db_->SetAppInfo(std::move(block));
  db_->mutableHeader().attributes |= kPdbAttrAppInfoDirty;
}

void MemoDatabase::WritePasswordInfo() {
  std::vector<std::uint8_t> block = db_->appInfo().value_or(std::vector<std::uint8_t>());
  // What followed the old hint has no meaning once the hint changes; the category
  // table and the four bytes after it stay as they are.
  block.resize(kKeptBytesEnd);
  block.insert(block.end(), digest_.begin(), digest_.end());
  block.insert(block.end(), hint_.begin(), hint_.end());
  block.push_back(0);
  db_->SetAppInfo(std::move(block));
  db_->mutableHeader().attributes |= kPdbAttrAppInfoDirty;
}

bool MemoDatabase::IsProtected() const {
  for (const std::uint8_t byte : digest_) {
    if (byte != 0) return true;
  }
  return false;
}

bool MemoDatabase::Unlock(const std::string& password) {
  if (!IsProtected()) return true;
  if (!PasswordMatches(password.c_str(), digest_)) return false;
  cipher_ = std::make_unique<CBlowfish>();
  cipher_->SetKey(password.c_str());
  return true;
}

bool MemoDatabase::CheckPassword(const std::string& password, std::string* error) {
  if (password.empty()) {
    if (error) *error = "the password is empty";
    return false;
  }
  if (password.find('\0') != std::string::npos) {
    if (error) *error = "the password holds a NUL character";
    return false;
  }
  if (CharacterCount(password) > kMaxPasswordCharacters) {
    if (error) *error = "the password is longer than 16 characters, more than the desktop program accepts";
    return false;
  }
  return true;
}

bool MemoDatabase::CheckHint(const std::string& hint, std::string* error) {
  if (hint.size() > kMaxHintBytes) {
    if (error) *error = "the hint is longer than 255 bytes (" + std::to_string(hint.size()) + " in code page 932)";
    return false;
  }
  if (hint.find('\0') != std::string::npos) {
    if (error) *error = "the hint holds a NUL character";
    return false;
  }
  return true;
}

Result MemoDatabase::ChangePassword(const std::string& password, const std::string& hint, std::string* error) {
  if (!IsUnlocked()) return Fail(error, kErrNotSupported, "the memo database is locked: its password was not given");
  if (password.empty() && !hint.empty()) {
    return Fail(error, kErrNotSupported, "a hint needs a password");
  }
  if (!password.empty() && !CheckPassword(password, error)) return kErrTooLong;
  if (!CheckHint(hint, error)) return kErrTooLong;

  std::unique_ptr<CBlowfish> next;
  if (!password.empty()) {
    next = std::make_unique<CBlowfish>();
    next->SetKey(password.c_str());
  }
  const CBlowfish* current = IsProtected() ? cipher_.get() : nullptr;
  if (current != nullptr || next != nullptr) {
    // Every memo changes its stored bytes, so each must travel at the next HotSync.
    for (std::size_t i = 0; i < db_->count(); ++i) {
      PdbRecord record = *db_->RecordAt(i);
      if (record.data.empty()) continue;
      if (current) current->DecryptBytes(record.data.data(), record.data.size());
      if (next) next->EncryptBytes(record.data.data(), record.data.size());
      record.attributes = WithDirty(record.attributes);
      const Result replaced = Replace(std::move(record), error);
      if (replaced != kOk) return replaced;
    }
  }

  if (password.empty()) {
    digest_.fill(0);
  } else {
    CMD5 md5;
    md5.Init();
    md5.Update(password.data(), password.size());
    md5.Finalize();
    digest_ = *md5.RawDigest();
  }
  hint_ = hint;
  cipher_ = std::move(next);
  WritePasswordInfo();
  return kOk;
}

std::uint8_t MemoDatabase::ReportedAttributes(const PdbRecord& record) {
  std::uint8_t attributes = record.attributes & (kSyncRecAttrDeleted | kSyncRecAttrDirty | kSyncRecAttrBusy |
                                                 kSyncRecAttrSecret);
  if (record.archived()) attributes |= kSyncRecAttrDeleted | kSyncRecAttrArchived;
  return attributes;
}

std::string MemoDatabase::MemoText(const PdbRecord& record) const {
  if (record.data.empty()) return {};
  if (!IsProtected()) return std::string(StoredMemoText(record.data.data(), record.data.size()));
  if (!cipher_) return {};
  std::vector<std::uint8_t> plain = record.data;
  cipher_->DecryptBytes(plain.data(), plain.size());
  std::string text(StoredMemoText(plain.data(), plain.size()));
  WipeSecret(plain.data(), plain.size());
  return text;
}

Result MemoDatabase::MakeMemoData(std::string_view text, std::vector<std::uint8_t>* data,
                                  std::string* error) const {
  const std::string lf = CrLfToLf(text);
  if (lf.find('\0') != std::string::npos) return Fail(error, kErrNotSupported, "the memo text holds a NUL character");
  if (lf.empty()) return Fail(error, kErrNoMatch, "the memo text is empty (a handheld keeps no empty memo)");
  if (lf.size() > kMaxStoredMemoText) {
    return Fail(error, kErrTooLong,
                "the memo text is " + std::to_string(lf.size()) + " bytes in code page 932; at most " +
                    std::to_string(kMaxStoredMemoText) + " fit in a memo");
  }
  *data = MakeStoredMemo(lf);
  if (IsProtected()) {
    if (!cipher_) return Fail(error, kErrNotSupported, "the memo database is locked: its password was not given");
    cipher_->EncryptBytes(data->data(), data->size());
  }
  return kOk;
}

Result MemoDatabase::Replace(PdbRecord record, std::string* error) {
  const std::uint32_t id = record.uniqueId;
  const Result written = db_->WriteRecord(std::move(record), nullptr, nullptr);
  if (written != kOk) {
    return Fail(error, written, "memo " + IdText(id) + " cannot be written: " + SyncResultMeaning(written));
  }
  return kOk;
}

Result MemoDatabase::LiveMemo(std::uint32_t id, PdbRecord* record, std::size_t* index, std::string* error) const {
  const auto at = db_->IndexOfId(id);
  if (!at) return Fail(error, kErrRecordNotFound, "there is no memo with id " + IdText(id));
  const PdbRecord* found = db_->RecordAt(*at);
  if (found->busy()) return Fail(error, kErrNotSupported, "memo " + IdText(id) + " is marked busy");
  if (found->deleted()) {
    return Fail(error, kErrNotSupported,
                "memo " + IdText(id) + (found->archived() ? " is deleted (archived)" : " is deleted") +
                    " and waits for the next HotSync");
  }
  *record = *found;
  if (index) *index = *at;
  return kOk;
}

Result MemoDatabase::AddMemo(std::string_view text, int category, bool isPrivate, std::uint32_t* id,
                             std::string* error) {
  if (category < 0 || category >= kCategoryCount || (category != 0 && categories_.At(category) == nullptr)) {
    return Fail(error, kErrBadCategoryIndex, "there is no category at index " + std::to_string(category));
  }
  PdbRecord record;
  const Result made = MakeMemoData(text, &record.data, error);
  if (made != kOk) return made;
  record.attributes = PdbRecord::MakeAttributes(false, true, false, isPrivate, false, category);
  const Result written = db_->WriteRecord(std::move(record), id, nullptr);
  if (written == kSyncErrDatabaseFull) {
    return Fail(error, written, "the memo database is full: a handheld database holds at most 65,535 records");
  }
  if (written != kOk) return Fail(error, written, std::string("the memo cannot be added: ") + SyncResultMeaning(written));
  return kOk;
}

Result MemoDatabase::EditMemo(std::uint32_t id, std::string_view text, bool* changed, std::string* error) {
  *changed = false;
  PdbRecord record;
  Result result = LiveMemo(id, &record, nullptr, error);
  if (result != kOk) return result;
  std::vector<std::uint8_t> data;
  result = MakeMemoData(text, &data, error);
  if (result != kOk) return result;
  std::string old = MemoText(record);
  const bool same = old == CrLfToLf(text);
  WipeSecret(old);
  if (same) return kOk;
  record.data = std::move(data);
  record.attributes = WithDirty(record.attributes);
  *changed = true;
  return Replace(std::move(record), error);
}

Result MemoDatabase::DeleteMemo(std::uint32_t id, bool archive, std::string* error) {
  PdbRecord record;
  const Result result = LiveMemo(id, &record, nullptr, error);
  if (result != kOk) return result;
  record.attributes = PdbRecord::MakeAttributes(true, true, false, record.secret(), archive, 0);
  if (!archive) record.data.clear();
  return Replace(std::move(record), error);
}

Result MemoDatabase::SetPrivate(std::uint32_t id, bool on, bool* changed, std::string* error) {
  *changed = false;
  PdbRecord record;
  const Result result = LiveMemo(id, &record, nullptr, error);
  if (result != kOk) return result;
  if (record.secret() == on) return kOk;
  record.attributes = WithDirty(static_cast<std::uint8_t>(on ? (record.attributes | kPdbRecSecret)
                                                             : (record.attributes & ~kPdbRecSecret)));
  *changed = true;
  return Replace(std::move(record), error);
}

Result MemoDatabase::MoveMemo(std::uint32_t id, int category, bool* changed, std::string* error) {
  *changed = false;
  if (category < 0 || category >= kCategoryCount || (category != 0 && categories_.At(category) == nullptr)) {
    return Fail(error, kErrBadCategoryIndex, "there is no category at index " + std::to_string(category));
  }
  PdbRecord record;
  const Result result = LiveMemo(id, &record, nullptr, error);
  if (result != kOk) return result;
  if (record.category() == category) return kOk;
  record.attributes = WithDirty(static_cast<std::uint8_t>((record.attributes & ~kPdbRecCategoryMask) | category));
  *changed = true;
  return Replace(std::move(record), error);
}

Result MemoDatabase::CheckCategoryName(std::string_view name, int exceptIndex, std::string* error) const {
  if (name.empty()) return Fail(error, kErrNoCategoryName, "the category name is empty");
  if (name.find('\0') != std::string_view::npos) {
    return Fail(error, kErrNoCategoryName, "the category name holds a NUL character");
  }
  if (name.size() > static_cast<std::size_t>(kCategoryNameMax)) {
    return Fail(error, kErrTooLong,
                "the category name is " + std::to_string(name.size()) +
                    " bytes in code page 932; at most 15 fit (a Japanese character takes 2)");
  }
  const std::string text(name);
  const CPCategory* same = categories_.FindByName(text.c_str());
  if (same != nullptr && same->Index() != exceptIndex) {
    return Fail(error, kErrCategoryIdExists,
                "a category of that name exists already, at index " + std::to_string(same->Index()));
  }
  return kOk;
}

int MemoDatabase::NewCategoryId() const {
  constexpr int kSpan = kLastHandheldCategoryId - kFirstHandheldCategoryId + 1;
  const int last = lastCategoryId_;
  const int start = (last >= kFirstHandheldCategoryId && last <= kLastHandheldCategoryId) ? last : 0;
  for (int step = 1; step <= kSpan; ++step) {
    const int id = (start + step - 1) % kSpan + kFirstHandheldCategoryId;
    if (categories_.FindById(id) == nullptr) return id;
  }
  return -1;
}

Result MemoDatabase::AddCategory(std::string_view name, int* index, std::string* error) {
  Result result = CheckCategoryName(name, -1, error);
  if (result != kOk) return result;
  const int free = categories_.FirstFreeIndex();
  const int id = NewCategoryId();
  if (free == -1 || id == -1) {
    return Fail(error, kErrCategoryTableFull, "every category index from 1 to 15 is in use");
  }
  const std::string text(name);
  CPCategory category;
  category.SetIndex(free);
  category.SetId(id);
  category.SetName(text.c_str());
  category.SetChanged(true);
  result = categories_.Add(category);
  if (result != kOk) return Fail(error, result, "the category cannot be added: " + std::string(ResultMeaning(result)));
  lastCategoryId_ = static_cast<std::uint8_t>(id);
  WriteCategoryTable();
  *index = free;
  return kOk;
}

Result MemoDatabase::RenameCategory(int index, std::string_view name, bool* changed, std::string* error) {
  *changed = false;
  if (index == 0) return Fail(error, kErrBadCategoryIndex, "the Unfiled category (index 0) cannot be renamed");
  CPCategory* category = categories_.At(index);
  if (category == nullptr) {
    return Fail(error, kErrBadCategoryIndex, "there is no category at index " + std::to_string(index));
  }
  const Result result = CheckCategoryName(name, index, error);
  if (result != kOk) return result;
  const std::string text(name);
  if (category->Name() != nullptr && text == category->Name()) return kOk;
  categories_.SetNameAt(index, text.c_str());
  category->SetChanged(true);
  *changed = true;
  WriteCategoryTable();
  return kOk;
}

Result MemoDatabase::DeleteCategory(int index, std::size_t* moved, std::string* error) {
  *moved = 0;
  if (index == 0) return Fail(error, kErrBadCategoryIndex, "the Unfiled category (index 0) cannot be deleted");
  if (categories_.At(index) == nullptr) {
    return Fail(error, kErrBadCategoryIndex, "there is no category at index " + std::to_string(index));
  }
  categories_.DeleteAt(index);
  for (std::size_t i = 0; i < db_->count(); ++i) {
    const PdbRecord* found = db_->RecordAt(i);
    if (!found->hasCategory() || found->category() != index) continue;
    PdbRecord record = *found;
    record.attributes = WithDirty(static_cast<std::uint8_t>(record.attributes & ~kPdbRecCategoryMask));
    const Result replaced = Replace(std::move(record), error);
    if (replaced != kOk) return replaced;
    ++*moved;
  }
  WriteCategoryTable();
  return kOk;
}

}  // namespace tallimor
