// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// What each side of a HotSync holds, read with the project's own readers but deciphered
// here, record by record, under every password the trial has given the handheld: the
// live memos of the desktop file (record.dat) and of the handheld's memo database, with
// their category names and private flags; the archive files (<category>.ARC) beside
// record.dat; and the file of desktop changes kept aside when the password changed
// (record.OLD). A memo that deciphers to a text nobody typed under the current password
// but to a typed one under a former password is key-mixed; under none, garbled.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace tallimor::reliability {

inline constexpr const char* kPassword = "secret";
inline constexpr const char* kMemoDatabase = "TallimorDB";

// The passwords a world's handheld has had, the current one first, and every text the
// trial typed. Without `known` (nullptr) the current password's reading is taken as it
// is, for trials whose texts are checked otherwise.
struct Keyring {
  std::vector<std::string> passwords{kPassword};
  const std::set<std::string>* known = nullptr;
};

// Which password a memo deciphers under to a typed text.
enum class MemoKey { kCurrent, kFormer, kGarbled };

struct Memo {
  std::string text;      // deciphered text; for a garbled memo, "<garbled ...>"
  std::string category;  // the category's name on that side ("" when none)
  bool isPrivate = false;
  MemoKey key = MemoKey::kCurrent;
  bool operator<(const Memo& other) const;
  bool operator==(const Memo& other) const;
  std::string Describe() const;  // "text" [Work, private, former key]
};

struct SideMemos {
  bool ok = false;
  std::string error;         // why the side could not be read
  std::vector<Memo> live;    // memos neither deleted nor archived, sorted
  std::vector<Memo> pending; // handheld records marked deleted or archived, not yet purged
  // Which of the keyring's passwords the stored digest is (0: the current one), -1 for
  // none or no digest at all.
  int digestKey = -1;
  bool operator==(const SideMemos& other) const;
};

// One memo kept in an archive file.
struct ArchivedMemo {
  std::string file;  // "Unfiled.ARC"
  Memo memo;
  bool operator<(const ArchivedMemo& other) const;
  bool operator==(const ArchivedMemo& other) const;
};

// The memos of a record file (record.dat, record.OLD).
SideMemos ReadDesktopMemos(const std::string& recordFile, const Keyring& keys);
// The memos of a file of memos kept aside (record.OLD): a record file whose application
// information holds the digest of the password its memos are under, with or without a
// category table before it.
SideMemos ReadKeptAside(const std::string& recordFile, const Keyring& keys);
// The memos of the memo database of the emulated handheld in `directory`.
SideMemos ReadHandheldMemos(const std::string& directory, const Keyring& keys);
// Every memo of every .ARC file in `directory`, sorted; an archive that cannot be read
// is reported in *error (and its memos are missing).
std::vector<ArchivedMemo> ReadArchives(const std::string& directory, const Keyring& keys,
                                       std::string* error);

// The texts of `memos`, in order.
std::vector<std::string> Texts(const std::vector<Memo>& memos);
// "a", "b" for diagnostics.
std::string Join(const std::vector<std::string>& texts);
std::string Join(const std::vector<Memo>& memos);

}  // namespace tallimor::reliability
