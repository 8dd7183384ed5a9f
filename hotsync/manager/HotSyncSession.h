// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// One HotSync of an emulated handheld, run as a HotSync manager runs it: identify the
// handheld's user (making the desktop user on a first HotSync), ask the notifier
// whether the HotSync may start, decide the action, run the conduit on the user's
// files, tell the notifier how it ended, and show the run's HotSync log entries.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "hotsync/handheld/Handheld.h"
#include "hotsync/users/UserData.h"

namespace tallimor {

class HotSyncSession {
 public:
  // The conduit's directory in the user's HotSync directory, and its desktop file.
  static constexpr const char* kConduitDirectoryName = "Tallimor-Vexa";
  static constexpr const char* kDesktopFileName = "record.dat";

  // A session over the HotSync root `root` (ending in '/'). Messages go to `err`, the
  // log entries of the run to `out`.
  HotSyncSession(std::string root, std::ostream& out, std::ostream& err);

  HotSyncSession(const HotSyncSession&) = delete;
  HotSyncSession& operator=(const HotSyncSession&) = delete;

  // Runs a HotSync of the handheld in `handheldDirectory` with `action` (a sync type),
  // or with the action the user chose for the conduit when none is given. Returns the
  // exit status (ExitStatus.h).
  int Run(const std::string& handheldDirectory, std::optional<std::int32_t> action);
  // Lets the next run delete many desktop memos that the handheld lacks.
  void SetAllowMassDelete(bool allow) { allowMassDelete_ = allow; }

 private:
  // The desktop user of the attached handheld, made on its first HotSync (the
  // handheld learns its user id when that HotSync has succeeded). *firstSync tells the conduit which
  // side is new (kFirstSyncNewDesktop, kFirstSyncNewHandheld, or 0). kHotSyncExitOk
  // or a failure status.
  int IdentifyUser(HotSyncUser* user, std::int32_t* firstSync);
  // Runs the HotSync for the user once the handheld is attached.
  int SyncUser(const HotSyncUser& user, std::int32_t firstSync,
               std::optional<std::int32_t> action);
  // Gives the attached handheld the user's id once its HotSync has succeeded.
  void GiveUserId(const HotSyncUser& user);
  // Writes a failure message: "hotsync: <message>".
  int Fail(const std::string& message, int status);
  // Writes a line of progress.
  void Say(const std::string& message);

  std::string root_;   // the HotSync root, ending in '/'
  std::ostream& out_;  // the run's log entries
  std::ostream& err_;  // progress and failures
  UserData users_;     // the users file of the root
  bool allowMassDelete_ = false;
};

}  // namespace tallimor
