// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CProtectedRecordFile: the desktop program's record store. It is the record file of
// the store layer with one addition: when it is keyed with the user's password, every
// memo is deciphered as the file is read and enciphered as it is written, with Blowfish
// in ECB mode over the whole 8-byte blocks of each record's data, each half read
// big-endian. Only record data is enciphered; the application information (category
// table, password digest, hint) stays plain. The desktop never changes the password of
// a file: only a file the store makes itself gets a digest, that of the store's key.
//
// Unlike the record file below it, the store makes its file when a user who has had no
// HotSync yet has memos to save (a memo database of its own, carrying the digest of the
// store's key), and it never saves over a file it read only in part.
//
// Invariant: between operations a keyed store always holds plain memos in memory, also
// after a failed read or a failed save, so nothing is ever enciphered twice and no plain
// memo is written among enciphered ones.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crypto/CBlowfish.h"
#include "protect/PasswordInfo.h"
#include "protect/UnsavedChanges.h"
#include "store/CPRecordFile.h"
#include "store/ResultCodes.h"

namespace tallimor {

// Save refused: the last load read the file only in part, and writing what was read
// over it would drop the records that could not be read.
inline constexpr Result kErrStoreReadInPart = -4001;
// Reload refused: the file now carries the digest of another password than the
// store's key, so its memos cannot be read with it and the edits cannot join them.
inline constexpr Result kErrStoreKeyChanged = -4005;

class CProtectedRecordFile : public CPRecordFile {
 public:
  // A store on `path` that uses categories. With a key (the password's code page 932
  // bytes before a NUL, possibly none), memos are deciphered and enciphered with
  // Blowfish keyed by it; with nullptr the store is unprotected. The key is not kept:
  // the caller wipes its copy once this returns.
  CProtectedRecordFile(std::string path, const char* key);

  // Virtual operations, in slot order.

  // The record file's read; then, with a key, deciphers every record that was read,
  // also when the read stopped at an error (the error is still returned). A read that
  // stopped at an error marks the store as read in part.
  Result ReadFile() override;
  // With a key: enciphers every record in place, writes the file, and deciphers the
  // records again whatever the write's result. Without a key: the record file's write.
  // When there is something to write:
  //  - kErrStoreReadInPart, writing nothing, when the store was read in part;
  //  - when no file has been read and there is none at the path (a user who has not
  //    had a HotSync yet), the file is created first, with its directory, as the
  //    handheld's memo database (see protect/NewRecordFile.h) whose digest is
  //    KeyDigest(); the store then has its header, app info and category table, and
  //    the records are written into it;
  //  - kErrFileChanged when there is a file but the store never read one: another
  //    program (a first HotSync) made it since, and ReloadWithEdits puts the memos
  //    typed meanwhile into it.
  // kErrOutOfMemory when the cipher could not be made (nothing is written).
  Result WriteFile() override;
  // Saves (errors are lost here: call Save() first to learn them), then scrubs and
  // frees the cipher.
  ~CProtectedRecordFile() override;

  // The record file's load, which also forgets what an earlier load found (read in
  // part, or a file this store made). Hides the record file's non-virtual Load, so that
  // every load of this store goes through here.
  Result Load();

  // Reads the file anew into a new store keyed as this one, puts on top of it the
  // edits this store holds beyond the file as it last read or wrote it (see
  // UnsavedChanges), saves that store and loads it again. On success *reloaded holds
  // it and this store must be given up without saving (DiscardEdits). On failure
  // nothing here has changed and *reloaded is empty: kErrStoreKeyChanged; the load's
  // error (kErrOpenFailed while another program holds the file, or a file read only
  // in part); the save's error (kErrFileChanged when yet another write came between).
  Result ReloadWithEdits(std::unique_ptr<CProtectedRecordFile>* reloaded,
                         UnsavedChangeCounts* counts);

  // Forgets the unsaved edits: nothing is dirty, so that giving the store up writes
  // nothing. The memos stay in memory as they are.
  void DiscardEdits();

  // True when the store was made with a key and deciphers and enciphers memos.
  bool IsKeyed() const { return cipher_ != nullptr || cipherMissing_; }

  // The digest of the store's key (MD5 of the key's bytes), or 16 zero bytes for an
  // unprotected store: what a file this store makes carries, and what the file's own
  // digest must equal for the store's key to be the file's.
  const std::array<std::uint8_t, kPasswordDigestSize>& KeyDigest() const { return keyDigest_; }

  // True when the last read of the file stopped at an error after reading some of it
  // (or none): the store holds less than the file, and is never saved over it.
  bool IsReadInPart() const { return readInPart_; }

  // True when the store's file is yet to be made: no file has been read into the store,
  // or the one it holds was made by the store and has not been read back since.
  bool HasNoFileYet() const { return Header() == nullptr || madeFile_; }

  // The three checks below load the file first, replacing anything held in memory.
  // When the load fails before the application information could be read, they return
  // its error code, which callers take as "yes" (protected, matching).

  // 1 when the file's password digest is set, 0 when it is all zero or absent.
  Result HasPassword();
  // Sets `hint` to the stored password hint (empty when there is none) and returns 0,
  // or the load's error; the hint is filled whenever the application information
  // could be read, even if reading the records failed afterwards.
  Result GetHint(std::string* hint);
  // 1 when the MD5 of `password` (code page 932 bytes before the NUL) equals the
  // stored digest, 0 when not. The caller wipes `password` afterwards.
  Result CheckPassword(const char* password);

 private:
  // Runs the cipher over every record's data, in slot order.
  void DecipherAll();
  void EncipherAll();
  // Loads the file (setting `loadResult`) and returns its application information
  // block when that was read whole, even if a record after it could not be read;
  // nullptr otherwise.
  const InfoBlock* LoadPasswordBlock(Result& loadResult);

  // Makes the new memo database at Path() (and its directory) and takes its header,
  // app info and category table, keeping the records in memory; the store stays dirty.
  // kErrWrite when a file has appeared there meanwhile or cannot be made.
  Result MakeFile();

  // A store on the same path sharing this one's cipher and digest (ReloadWithEdits).
  struct SiblingTag {};
  CProtectedRecordFile(const CProtectedRecordFile& keyedAs, SiblingTag);

  // The cipher is shared with a store reloaded from this one, and only read.
  std::shared_ptr<const CBlowfish> cipher_;  // keyed cipher, or none for an unprotected store
  bool cipherMissing_ = false;         // a key was given but the cipher could not be made
  bool readInPart_ = false;            // the last read stopped at an error
  bool madeFile_ = false;              // the header comes from a file this store made
  std::vector<std::uint8_t> madeImage_;  // what MakeFile put there, to take back on failure
  std::array<std::uint8_t, kPasswordDigestSize> keyDigest_{};  // MD5 of the key, or zeros
  UnsavedChanges changes_;             // the store as last read or written, and edits since
};

}  // namespace tallimor
