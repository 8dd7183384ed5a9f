// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Reading both sides with the readers the programs themselves use, unkeyed, and
// deciphering each record here under each password of the keyring in turn, so that a
// memo left under a former key is told apart from one that is garbled.
#include "tests/reliability/MemoSides.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <tuple>

#include "crypto/CBlowfish.h"
#include "protect/PasswordInfo.h"
#include "protect/StoredMemo.h"
#include "hotsync/handheld/Handheld.h"
#include "store/CPRecordFile.h"
#include "tools/tallimor-handheld/MemoDatabase.h"

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;

// One keyed cipher per password of the keyring; none for an empty password.
class Deciphering {
 public:
  explicit Deciphering(const Keyring& keys) : keys_(keys) {
    for (const std::string& password : keys.passwords) {
      std::unique_ptr<CBlowfish> cipher;
      if (!password.empty()) {
        cipher = std::make_unique<CBlowfish>();
        cipher->SetKey(password.c_str());
      }
      ciphers_.push_back(std::move(cipher));
    }
  }

  // The memo text of `length` bytes of record data and the key it reads under.
  void Read(const std::uint8_t* data, std::size_t length, Memo* memo) const {
    for (std::size_t i = 0; i < ciphers_.size(); ++i) {
      std::vector<std::uint8_t> plain(data, data + length);
      if (ciphers_[i] && !plain.empty()) ciphers_[i]->DecryptBytes(plain.data(), plain.size());
      std::string text(StoredMemoText(plain.data(), plain.size()));
      if (keys_.known == nullptr || keys_.known->count(text) != 0) {
        memo->text = std::move(text);
        memo->key = i == 0 ? MemoKey::kCurrent : MemoKey::kFormer;
        return;
      }
    }
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < std::min<std::size_t>(length, 16); ++i) {
      hex += kHex[data[i] >> 4];
      hex += kHex[data[i] & 15];
    }
    memo->text = "<garbled " + std::to_string(length) + " bytes " + hex + ">";
    memo->key = MemoKey::kGarbled;
  }

  // The index of the password whose digest `digest` is, or -1.
  int DigestKey(const std::array<std::uint8_t, kPasswordDigestSize>& digest) const {
    bool set = false;
    for (std::uint8_t byte : digest) set = set || byte != 0;
    if (!set) return -1;
    for (std::size_t i = 0; i < keys_.passwords.size(); ++i) {
      if (PasswordMatches(keys_.passwords[i].c_str(), digest)) return static_cast<int>(i);
    }
    return -1;
  }

 private:
  const Keyring& keys_;
  std::vector<std::unique_ptr<CBlowfish>> ciphers_;
};

std::string NameOr(const CPCategory* category, int index) {
  if (category != nullptr && category->Name() != nullptr) return category->Name();
  return "#" + std::to_string(index);  // a category index with no category behind it
}

}  // namespace

bool Memo::operator<(const Memo& other) const {
  return std::tie(text, category, isPrivate, key) < std::tie(other.text, other.category, other.isPrivate, other.key);
}

bool Memo::operator==(const Memo& other) const {
  return std::tie(text, category, isPrivate, key) == std::tie(other.text, other.category, other.isPrivate, other.key);
}

std::string Memo::Describe() const {
  std::string described = '"' + text + "\" [" + (category.empty() ? "no category" : category);
  if (isPrivate) described += ", private";
  if (key == MemoKey::kFormer) described += ", under a former password";
  return described + "]";
}

bool SideMemos::operator==(const SideMemos& other) const {
  return ok == other.ok && live == other.live && pending == other.pending && digestKey == other.digestKey;
}

bool ArchivedMemo::operator<(const ArchivedMemo& other) const {
  return std::tie(file, memo) < std::tie(other.file, other.memo);
}

bool ArchivedMemo::operator==(const ArchivedMemo& other) const {
  return file == other.file && memo == other.memo;
}

namespace {

// The memos of a record file read with `flags`: a desktop file has a category table in
// its application information, an archive has none.
SideMemos ReadRecordFile(const std::string& path, const Keyring& keys, std::uint32_t flags) {
  SideMemos side;
  // The store itself, unkeyed: the records come as they lie in the file.
  CPRecordFile file(path, flags);
  const Result loaded = file.Load();
  if (loaded != kOk) {
    side.error = path + ": load failed with " + std::to_string(loaded);
    return side;
  }
  const Deciphering cipher(keys);
  std::uint32_t size = 0;
  if (file.GetAppInfoData(nullptr, size) == kErrBufferTooSmall || size > 0) {
    std::vector<std::uint8_t> appInfo(size);
    if (file.GetAppInfoData(appInfo.data(), size) == kOk) {
      side.digestKey = cipher.DigestKey(ReadPasswordInfo(appInfo.data(), size).digest);
    }
  }
  for (CPRecord* record = file.FirstRecord(); record != nullptr; record = file.NextRecord()) {
    Memo memo;
    cipher.Read(record->Data(), record->DataLength(), &memo);
    if (file.UsesCategories()) memo.category = NameOr(file.CategoryAt(record->Category()), record->Category());
    memo.isPrivate = record->IsPrivate();
    (record->IsArchived() || record->IsDeleted() ? side.pending : side.live).push_back(memo);
  }
  std::sort(side.live.begin(), side.live.end());
  std::sort(side.pending.begin(), side.pending.end());
  side.ok = true;
  return side;
}

}  // namespace

SideMemos ReadDesktopMemos(const std::string& recordFile, const Keyring& keys) {
  return ReadRecordFile(recordFile, keys, CPRecordFile::kCategories | CPRecordFile::kAppInfo);
}

SideMemos ReadKeptAside(const std::string& recordFile, const Keyring& keys) {
  SideMemos side = ReadDesktopMemos(recordFile, keys);
  if (side.ok) return side;
  SideMemos plain = ReadRecordFile(recordFile, keys, CPRecordFile::kAppInfo);
  return plain.ok ? plain : side;
}

SideMemos ReadHandheldMemos(const std::string& directory, const Keyring& keys) {
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
  const Deciphering cipher(keys);
  const auto& appInfo = memos->database().appInfo();
  if (appInfo.has_value()) side.digestKey = cipher.DigestKey(ReadPasswordInfo(appInfo->data(), appInfo->size()).digest);
  memos->database().ForEachRecord([&](const PdbRecord& record) {
    Memo memo;
    cipher.Read(record.data.data(), record.data.size(), &memo);
    memo.isPrivate = record.secret();
    if (record.deleted()) {
      if (record.data.empty()) memo = Memo{"", "", record.secret(), MemoKey::kCurrent};
      side.pending.push_back(memo);
      return;
    }
    memo.category = NameOr(memos->categories().At(record.category()), record.category());
    side.live.push_back(memo);
  });
  std::sort(side.live.begin(), side.live.end());
  std::sort(side.pending.begin(), side.pending.end());
  side.ok = true;
  return side;
}

std::vector<ArchivedMemo> ReadArchives(const std::string& directory, const Keyring& keys, std::string* error) {
  std::vector<ArchivedMemo> archived;
  std::error_code ec;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(directory, ec)) {
    if (entry.path().extension() == ".ARC") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& path : files) {
    const SideMemos memos = ReadRecordFile(path, keys, 0);
    if (!memos.ok) {
      *error += (error->empty() ? "" : "; ") + memos.error;
      continue;
    }
    // An archive keeps no category table: the file is the memo's category.
    for (const std::vector<Memo>* list : {&memos.live, &memos.pending}) {
      for (Memo memo : *list) {
        memo.isPrivate = false;
        archived.push_back({path.filename(), memo});
      }
    }
  }
  std::sort(archived.begin(), archived.end());
  return archived;
}

std::vector<std::string> Texts(const std::vector<Memo>& memos) {
  std::vector<std::string> texts;
  for (const Memo& memo : memos) texts.push_back(memo.text);
  return texts;
}

std::string Join(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) {
    if (!joined.empty()) joined += ", ";
    joined += '"' + text + '"';
  }
  return joined;
}

std::string Join(const std::vector<Memo>& memos) {
  std::string joined;
  for (const Memo& memo : memos) joined += (joined.empty() ? "" : ", ") + memo.Describe();
  return joined;
}

}  // namespace tallimor::reliability
