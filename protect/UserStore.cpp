// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a user's store: the password check on a temporary unkeyed store, then the
// switch of the current store. The new store is made before the old one goes, so that a
// failure to make it leaves the application with the data it had.
#include "protect/UserStore.h"

#include <sys/stat.h>

#include <cerrno>
#include <new>

namespace tallimor {

UserPasswordCheck CheckUserPassword(const std::string& path, const char* password) {
  UserPasswordCheck check;
  // The temporary store has no key and changes nothing, so it writes nothing when it goes.
  CProtectedRecordFile probe(path, nullptr);
  const Result has = probe.HasPassword();
  if (has == 0) {
    check.accepted = true;
    return check;
  }
  if (has != 1) check.loadResult = has;  // an error counts as protected and matching
  const Result matches = probe.CheckPassword(password == nullptr ? "" : password);
  if (matches == 0) return check;
  if (has == 1) check.passwordSet = true;
  if (matches != 1 && check.loadResult == kOk) check.loadResult = matches;
  check.accepted = true;
  check.keyed = true;
  if (check.loadResult == kErrOpenFailed) {
    struct stat st {};
    check.fileMissing = ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
    // Memos typed before the first HotSync go into a file this program makes; keyed with
    // nothing they would be garbage to a handheld without a password.
    if (check.fileMissing && (password == nullptr || password[0] == '\0')) check.keyed = false;
  }
  return check;
}

std::unique_ptr<CProtectedRecordFile> MakeUserStore(const std::string& path,
                                                    const char* password, bool keyed) {
  const char* key = keyed ? (password == nullptr ? "" : password) : nullptr;
  return std::unique_ptr<CProtectedRecordFile>(new (std::nothrow) CProtectedRecordFile(path, key));
}

Result OpenUserStore(const std::string& path, const char* password,
                     std::unique_ptr<CProtectedRecordFile>& current, UserStoreOutcome* outcome) {
  *outcome = UserStoreOutcome{};
  outcome->check = CheckUserPassword(path, password);
  if (!outcome->check.accepted) return kOk;  // wrong password: nothing changes

  std::unique_ptr<CProtectedRecordFile> next = MakeUserStore(path, password, outcome->check.keyed);
  if (!next) return kErrOutOfMemory;

  // The old store is written back before the new one reads, so that reopening the same
  // user sees the latest changes.
  if (current) {
    outcome->saveResult = current->Save();
    current.reset();
  }
  current = std::move(next);
  outcome->loadResult = current->Load();
  outcome->opened = true;
  return kOk;
}

Result ReadUserHint(const std::string& path, std::string* hint) {
  CProtectedRecordFile probe(path, nullptr);
  return probe.GetHint(hint);
}

}  // namespace tallimor
