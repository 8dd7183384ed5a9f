// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The store side of opening a HotSync user's data: checking the typed password against
// the digest in the user's record file, making the store keyed with that password that
// becomes the application's current store, and reading the password hint for the user
// dialog. The application object calls these and does the rest (current user, profile,
// view); it may run the steps one by one to ask the user between them.
#pragma once

#include <memory>
#include <string>

#include "protect/CProtectedRecordFile.h"
#include "store/ResultCodes.h"

namespace tallimor {

// What the password check of a user's record file decided.
struct UserPasswordCheck {
  bool accepted = false;     // the data may be opened with this password
  bool keyed = false;        // the store must be keyed with the password
  bool passwordSet = false;  // the file carries a password digest (memos are enciphered)
  Result loadResult = kOk;   // the file could not be read (a missing file among others):
                             // the password is then accepted, there being no digest to
                             // refuse it with, and the store is keyed with it, except
                             // that an empty password keys nothing when the file is
                             // missing: its memos are written plain, as an unprotected
                             // handheld keeps them
  bool fileMissing = false;  // there is no file yet: the store makes it on its first save
};

// Checks `password` (code page 932 bytes before the NUL; null counts as empty) against
// the record file at `path` through a temporary unkeyed store, which writes nothing.
// A file without a digest accepts any password and needs no key.
UserPasswordCheck CheckUserPassword(const std::string& path, const char* password);

// A new store on `path`, keyed with `password` when `keyed`, not yet loaded; nullptr
// when memory is short. The key is taken at once: the caller may wipe `password` then.
std::unique_ptr<CProtectedRecordFile> MakeUserStore(const std::string& path,
                                                    const char* password, bool keyed);

// What OpenUserStore() did.
struct UserStoreOutcome {
  bool opened = false;      // the password was accepted and the current store replaced
  UserPasswordCheck check;  // the check's findings
  Result saveResult = kOk;  // writing back the store that was replaced
  Result loadResult = kOk;  // loading the new store; an error leaves it empty or partial
};

// All steps at once: CheckUserPassword(); on acceptance MakeUserStore(), then `current`
// is saved and replaced by the new store, which is loaded (a load error is reported,
// not acted on: a user whose file cannot be read gets an empty store). A wrong password
// changes nothing. Returns 0, or kErrOutOfMemory when the new store cannot be made
// (`current` is then left as it was). The caller wipes `password` afterwards.
Result OpenUserStore(const std::string& path, const char* password,
                     std::unique_ptr<CProtectedRecordFile>& current, UserStoreOutcome* outcome);

// The password hint stored in the record file at `path` (code page 932 bytes), read
// through a temporary unkeyed store. Returns 0 or the load's error; `hint` is empty
// when there is none or the file could not be read.
Result ReadUserHint(const std::string& path, std::string* hint);

}  // namespace tallimor
