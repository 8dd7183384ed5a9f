// CProtectedRecordFile: the desktop program's record store. It is the record file of
// the store layer with one addition: when it is keyed with the user's password, every
// memo is deciphered as the file is read and enciphered as it is written, with Blowfish
// in ECB mode over the whole 8-byte blocks of each record's data, each half read
// big-endian. Only record data is enciphered; the application information (category
// table, password digest, hint) stays plain. The desktop never sets the password.
//
// Invariant: between operations a keyed store always holds plain memos in memory, also
// after a failed read or a failed save, so nothing is ever enciphered twice and no plain
// memo is written among enciphered ones.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "crypto/CBlowfish.h"
#include "store/CPRecordFile.h"
#include "store/ResultCodes.h"

namespace tallimor {

class CProtectedRecordFile : public CPRecordFile {
 public:
  // A store on `path` that uses categories. With a key (the password's code page 932
  // bytes before a NUL, possibly none), memos are deciphered and enciphered with
  // Blowfish keyed by it; with nullptr the store is unprotected. The key is not kept:
  // the caller wipes its copy once this returns.
  CProtectedRecordFile(std::string path, const char* key);

  // Virtual operations, in slot order.

  // The record file's read; then, with a key, deciphers every record that was read,
  // also when the read stopped at an error (the error is still returned).
  Result ReadFile() override;
  // With a key: enciphers every record in place, writes the file, and deciphers the
  // records again whatever the write's result. Without a key: the record file's write.
  // kErrOutOfMemory when the cipher could not be made (nothing is written).
  Result WriteFile() override;
  // Saves (errors are lost here: call Save() first to learn them), then scrubs and
  // frees the cipher.
  ~CProtectedRecordFile() override;

  // True when the store was made with a key and deciphers and enciphers memos.
  bool IsKeyed() const { return cipher_ != nullptr || cipherMissing_; }

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

  std::unique_ptr<CBlowfish> cipher_;  // keyed cipher, or none for an unprotected store
  bool cipherMissing_ = false;         // a key was given but the cipher could not be made
};

}  // namespace tallimor
