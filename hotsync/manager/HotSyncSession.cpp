// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The steps of one HotSync. Nothing reaches the desktop program before the conduit is
// known to load; the unfinished-HotSync mark is written before the conduit touches a
// file and removed only after the run has ended well, so that any failure or kill in
// between makes the next HotSync of the handheld compare every record.
#include "hotsync/manager/HotSyncSession.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "hotsync/plugin/SyncTypes.h"
#include "hotsync/handheld/SyncManager.h"
#include "hotsync/log/HotSyncLog.h"
#include "hotsync/log/HsLog.h"
#include "hotsync/manager/ConduitLibrary.h"
#include "hotsync/manager/ConduitSettings.h"
#include "hotsync/manager/ExitStatus.h"
#include "hotsync/manager/FileKind.h"
#include "hotsync/manager/HotSyncLock.h"
#include "hotsync/manager/LogListing.h"
#include "hotsync/manager/NotifierLibrary.h"
#include "hotsync/manager/SyncAction.h"
#include "hotsync/manager/SyncRunProperties.h"
#include "hotsync/manager/TerminalText.h"
#include "hotsync/manager/UnfinishedSync.h"
#include "hotsync/users/UsersResults.h"

namespace tallimor {
namespace {


// Where the progress callback writes; set while a conduit runs.
std::ostream* gProgress = nullptr;

std::int32_t ShowProgress(const char* text) {
  if (gProgress != nullptr && text != nullptr) {
    *gProgress << "hotsync: " << TerminalText(text) << "\n" << std::flush;
  }
  return 0;
}

// Makes `path` a directory (mode 0700) unless it is one already.
bool MakeDirectory(const std::string& path, std::string* error) {
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  const int saved = errno;
  struct stat st {};
  if (saved == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  *error = path + ": " + std::strerror(saved == EEXIST ? ENOTDIR : saved);
  return false;
}

std::string SyncFailure(Result r) {
  std::string text = SyncResultMeaning(r);
  const char* detail = SyncLastErrorDetail();
  if (detail != nullptr && detail[0] != '\0') text += std::string(" (") + detail + ")";
  return text;
}

// Adds a message of the HotSync program itself to the open run of the log.
void LogNote(const std::string& text) { LogAddEntry(text.c_str(), kActivityText, 0); }

// What a conduit's result means: one of the conduit's own codes, or a Sync Manager
// result passed through.
std::string ConduitResultMeaning(Result r) {
  const std::string meaning = ResultMeaning(r);
  return meaning == "unknown result" ? SyncResultMeaning(r) : meaning;  // not one of the conduit's
}

// Shows the entries of the run that `log` opened last.
void WriteRunEntries(const HotSyncLog& log, std::ostream& out) {
  std::vector<LogEntry> entries;
  log.RunEntries(&entries);
  for (const LogEntry& entry : entries) WriteLogEntry(entry, out);
}

}  // namespace

HotSyncSession::HotSyncSession(std::string root, std::ostream& out, std::ostream& err)
    : root_(std::move(root)), out_(out), err_(err), users_(root_) {
  if (!root_.empty() && root_.back() != '/') root_ += '/';
}

int HotSyncSession::Run(const std::string& handheldDirectory,
                        std::optional<std::int32_t> action) {
  const Result attached = SyncAttachHandheld(handheldDirectory.c_str());
  if (attached == kSyncErrNotFound) {
    return Fail(handheldDirectory + " is no emulated handheld: it has no " +
                    Handheld::kIdentityFileName,
                kHotSyncExitFailed);
  }
  if (attached != kOk) {
    return Fail("cannot connect to the handheld in " + handheldDirectory + ": " +
                    SyncFailure(attached),
                kHotSyncExitFailed);
  }
  struct Detach {
    ~Detach() { SyncDetachHandheld(); }
  } detach;
  // The conduit reports a database it cannot read by a result code alone; something
  // other than a file in the database's place is named here, before anything starts.
  const std::string database = handheldDirectory + "/" + SyncRunProperties::kDatabaseName + ".pdb";
  if (const std::string problem = FileKind::Problem(database, ""); !problem.empty()) {
    return Fail(database + ": " + problem + "; nothing was synchronized", kHotSyncExitFailed);
  }

  HotSyncUser user;
  std::int32_t firstSync = 0;  // an ordinary HotSync
  const int identified = IdentifyUser(&user, &firstSync);
  if (identified != kHotSyncExitOk) return identified;
  return SyncUser(user, firstSync, action);
}

int HotSyncSession::IdentifyUser(HotSyncUser* user, std::int32_t* firstSync) {
  HandheldIdentity identity;
  Result r = SyncReadUserId(&identity);
  if (r != kOk) return Fail("cannot read the handheld's user: " + SyncFailure(r), kHotSyncExitFailed);
  const std::string shownName = "\"" + TerminalText(identity.userName) + "\"";
  if (identity.userName.empty()) {
    return Fail("the handheld has no user name; a handheld made with "
                "'tallimor-handheld --handheld DIR init --user NAME' has one",
                kHotSyncExitFailed);
  }

  *firstSync = 0;
  if (identity.userId != 0) {
    r = users_.FindUser(identity.userId, user);
    if (r == kOk) return kHotSyncExitOk;  // the id decides, whatever the names say
    if (r != kUsersErrUnknownUser) {
      return Fail("cannot read the HotSync users of " + root_ + ": " + UsersResultMeaning(r),
                  kHotSyncExitFailed);
    }
  }
  r = users_.FindUserByName(identity.userName, user);
  if (r == kOk) {
    if (identity.userId != 0) {
      // Two different users of one name: joining them could mix their memos.
      return Fail("the handheld's user " + shownName + " has user id " +
                      std::to_string(identity.userId) + ", but the user of that name on this "
                      "computer has user id " + std::to_string(user->id) +
                      "; they are different users, and nothing was synchronized",
                  kHotSyncExitFailed);
    }
    *firstSync = kFirstSyncNewHandheld;
  } else if (r == kUsersErrUnknownUser) {
    r = users_.AddUser(identity.userName, identity.userId, user);
    if (r != kOk) {
      return Fail("cannot add the HotSync user " + shownName + ": " + UsersResultMeaning(r),
                  kHotSyncExitFailed);
    }
    Say("new HotSync user " + shownName + " (user id " + std::to_string(user->id) +
        ", directory " + root_ + TerminalText(user->directory) + ")");
    *firstSync = kFirstSyncNewDesktop;
  } else {
    return Fail("cannot read the HotSync users of " + root_ + ": " + UsersResultMeaning(r),
                kHotSyncExitFailed);
  }
  // The handheld learns its user id only once its HotSync has succeeded (GiveUserId):
  // until then every attempt is the first HotSync of this handheld, whose memos are
  // merged with the desktop's and never taken for deletions.
  return kHotSyncExitOk;
}

int HotSyncSession::SyncUser(const HotSyncUser& user, std::int32_t firstSync,
                             std::optional<std::int32_t> action) {
  const std::string userDirectory = root_ + user.directory + "/";
  const std::string conduitDirectory = userDirectory + kConduitDirectoryName;
  std::string error;
  if (!MakeDirectory(userDirectory, &error) || !MakeDirectory(conduitDirectory, &error)) {
    return Fail("cannot make the user's HotSync directory: " + error, kHotSyncExitFailed);
  }
  HotSyncLock lock;
  if (!lock.Take(userDirectory, &error)) return Fail("cannot HotSync now: " + error, kHotSyncExitFailed);

  // The libraries first: when the conduit cannot run, the desktop program is left alone.
  ConduitLibrary conduit;
  if (!conduit.Load(&error)) return Fail("cannot load the conduit: " + error, kHotSyncExitFailed);
  NotifierLibrary notifier;
  if (!notifier.Load(&error)) Say("the HotSync notifier is not used: " + error);

  ConduitSettings settings(users_, user.id);
  std::int32_t syncType = kSyncFast;
  bool nextOnly = false;
  if (action.has_value()) {
    syncType = *action;
  } else if (const Result r = settings.Upcoming(&syncType, &nextOnly); r != kOk) {
    return Fail("cannot read the conduit's HotSync action: " + std::string(UsersResultMeaning(r)),
                kHotSyncExitFailed);
  }
  UnfinishedSync unfinished(userDirectory);
  std::string slowBecause;
  if (syncType == kSyncFast) {
    if (unfinished.Present()) {
      slowBecause = "the last HotSync of this handheld did not finish";
    } else if (firstSync == kFirstSyncNewDesktop) {
      slowBecause = "first HotSync of this user on this computer";
    } else if (firstSync == kFirstSyncNewHandheld) {
      slowBecause = "first HotSync of this handheld";
    }
    if (!slowBecause.empty()) syncType = kSyncSlow;
  }

  HotSyncLog log(userDirectory);
  if (const Result r = log.BeginRun(); r != kOk) {
    return Fail("cannot write the HotSync log " + log.path() + ": " + FileKind::Problem(log.path(), ResultMeaning(r)),
                kHotSyncExitFailed);
  }
  const std::string conduitName = conduit.Name();
  Say("HotSync of \"" + TerminalText(user.name) + "\" with " + TerminalText(conduitName) + ": " +
      DescribeSyncType(syncType) + (slowBecause.empty() ? "" : " (" + slowBecause + ")"));

  // Ends a run that never reached the conduit, or whose conduit failed.
  auto abandon = [&](const std::string& why, int status) {
    LogNote(why);
    notifier.Notify(NotifierLibrary::kEventAborted, user.id);
    log.EndRun(false);
    WriteRunEntries(log, out_);
    return Fail(why, status);
  };

  if (notifier.Notify(NotifierLibrary::kEventMayStart, 0) == 0) {
    return abandon("The Tallimor desktop program refused the HotSync: one of its dialogs is open. "
                   "Close it and HotSync again.",
                   kHotSyncExitRefused);
  }
  if (notifier.Notify(NotifierLibrary::kEventStarted, user.id) == 0) {
    return abandon("The Tallimor desktop program could not hand over its data for the HotSync. "
                   "Nothing was synchronized.",
                   kHotSyncExitRefused);
  }
  if (!slowBecause.empty()) LogNote("Slow synchronization: " + slowBecause + ".");
  if (syncType != kSyncDoNothing && unfinished.Set(syncType, &error) != kOk) {
    return abandon("Cannot record the start of the HotSync: " + error + ". Nothing was synchronized.",
                   kHotSyncExitFailed);
  }

  SyncRunProperties properties;
  if (!properties.Build(syncType, conduitDirectory, firstSync, &error)) {
    return abandon("Cannot run the conduit: " + error + ".", kHotSyncExitFailed);
  }
  if (allowMassDelete_) properties.record()->options |= kSyncOptionAllowMassDelete;
  gProgress = &err_;
  const std::int32_t result = conduit.Open(&ShowProgress, properties.record());
  gProgress = nullptr;

  if (result != kOk) {
    return abandon(conduitName + " failed: " + ConduitResultMeaning(result) + " (result " + std::to_string(result) +
                       "). The next HotSync of this handheld compares every record.",
                   kHotSyncExitFailed);
  }
  if (syncType == kSyncDoNothing) LogNote(conduitName + ": the HotSync action is Do Nothing.");
  notifier.Notify(NotifierLibrary::kEventEnded, user.id);
  // A HotSync that did nothing has not brought the two sides together yet.
  if (syncType != kSyncDoNothing) GiveUserId(user);
  if (syncType != kSyncDoNothing && unfinished.Clear(&error) != kOk) {
    Say("cannot remove " + unfinished.path() + " (" + error + "); the next HotSync compares every record");
  }
  if (nextOnly && settings.ClearNext() != kOk) {
    Say("cannot reset the next HotSync's action; it stays set until changed with 'hotsync configure'");
  }
  log.EndRun(true);
  WriteRunEntries(log, out_);
  Say("HotSync completed");
  return kHotSyncExitOk;
}

void HotSyncSession::GiveUserId(const HotSyncUser& user) {
  HandheldIdentity identity;
  if (SyncReadUserId(&identity) != kOk || identity.userId == user.id) return;
  const Result r = SyncWriteUserId(HandheldIdentity{identity.userName, user.id});
  // Nothing is lost: the next HotSync is again this handheld's first, and merges.
  if (r != kOk) Say("cannot give the handheld its user id (" + SyncFailure(r) + "); the next HotSync merges again");
}

int HotSyncSession::Fail(const std::string& message, int status) {
  Say(message);
  return status;
}

void HotSyncSession::Say(const std::string& message) {
  err_ << "hotsync: " << message << "\n" << std::flush;
}

}  // namespace tallimor
