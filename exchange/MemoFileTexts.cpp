// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Deciphering memo copies for tallimor-dump with the same cipher, byte order and password
// check as the desktop program's protected store, and showing them as UTF-8.
#include "exchange/MemoFileTexts.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/CBlowfish.h"
#include "protect/PasswordInfo.h"
#include "protect/StoredMemo.h"
#include "text/CodePage932.h"
#include "text/ShownText.h"
#include "exchange/ExchangeMemo.h"

namespace tallimor {
namespace {

constexpr char kRecordFileName[] = "record.dat";

// The digest of the record.dat in the directory of `path`, when that file exists and
// its application information could be read.
bool DigestBeside(const std::string& path, PasswordInfo* info) {
  const std::size_t slash = path.rfind('/');
  const std::string beside = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + kRecordFileName;
  if (beside == path) return false;
  MemoFile neighbour;
  ReadMemoFile(beside, neighbour);
  const InfoBlock* appInfo = neighbour.contents.appInfo.get();
  if (neighbour.kind != MemoFileKind::kRecordFile || appInfo == nullptr) return false;
  *info = ReadPasswordInfo(appInfo->Data(), appInfo->Used());
  return true;
}

// Every record's data, deciphered by `cipher` when there is one.
std::vector<std::vector<std::uint8_t>> PlainData(const MemoFile& file, const CBlowfish* cipher) {
  std::vector<std::vector<std::uint8_t>> plain;
  plain.reserve(file.records.size());
  for (const auto& record : file.records) {
    const std::uint8_t* data = record->Data();
    plain.emplace_back(data, data + (data ? record->DataLength() : 0));
    if (cipher != nullptr) cipher->DecryptBytes(plain.back().data(), plain.back().size());
  }
  return plain;
}

bool AllLookLikeMemos(const std::vector<std::vector<std::uint8_t>>& plain) {
  for (const auto& data : plain) {
    if (!LooksLikeStoredMemo(data.data(), data.size())) return false;
  }
  return true;
}

void Wipe(std::vector<std::vector<std::uint8_t>>& plain) {
  for (auto& data : plain) WipeSecret(data.data(), data.size());
}

}  // namespace

bool LooksLikeStoredMemo(const std::uint8_t* data, std::size_t length) {
  if (length == 0) return true;
  const std::string_view text = StoredMemoText(data, length);
  if (text.size() == length) return false;  // no NUL
  if (length % 8 == 0 && text.size() + 8 < length) return false;
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0x7F) return false;
  }
  return CodePage932::ToUtf8(text).ok();
}

MemoTextsResult FillMemoTexts(const char* password, const std::string& path, MemoFile& file,
                              std::size_t* undecodable) {
  *undecodable = 0;
  file.hasTexts = false;
  file.texts.clear();
  file.memos.clear();
  const InfoBlock* appInfo = file.contents.appInfo.get();

  MemoTextsResult result = MemoTextsResult::kProtected;
  PasswordInfo info;
  if (appInfo != nullptr) {
    info = ReadPasswordInfo(appInfo->Data(), appInfo->Used());
    if (!info.IsSet()) result = MemoTextsResult::kNotProtected;
  } else if (DigestBeside(path, &info)) {
    result = info.IsSet() ? MemoTextsResult::kCheckedBeside : MemoTextsResult::kNotProtectedBeside;
  } else {
    result = MemoTextsResult::kDecipheredToText;
  }

  std::unique_ptr<CBlowfish> cipher;
  if (result == MemoTextsResult::kProtected || result == MemoTextsResult::kCheckedBeside) {
    const bool matches = PasswordMatches(password, info.digest);
    WipeSecret(info.digest.data(), info.digest.size());
    if (!matches) return MemoTextsResult::kWrongPassword;
  }
  if (result != MemoTextsResult::kNotProtected && result != MemoTextsResult::kNotProtectedBeside) {
    cipher = std::make_unique<CBlowfish>();
    cipher->SetKey(password);
  }

  std::vector<std::vector<std::uint8_t>> plain = PlainData(file, cipher.get());
  if (result == MemoTextsResult::kDecipheredToText && !AllLookLikeMemos(plain)) {
    Wipe(plain);
    plain = PlainData(file, nullptr);
    if (!AllLookLikeMemos(plain)) return MemoTextsResult::kNoPasswordInfo;
    result = MemoTextsResult::kStoredAsText;
  }

  file.texts.reserve(plain.size());
  file.memos.reserve(plain.size());
  for (const auto& data : plain) {
    const std::string_view memo = StoredMemoText(data.data(), data.size());
    std::size_t bytes = 0;
    file.texts.push_back(ShowCp932AsUtf8(memo, ControlCharacters::kKeep, &bytes));
    file.memos.emplace_back(memo);
    if (bytes > 0) ++*undecodable;
  }
  Wipe(plain);
  file.hasTexts = true;
  return result;
}

}  // namespace tallimor
