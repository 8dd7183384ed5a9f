// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// log: the HotSync log of one user or of every user.
#include <vector>

#include "hotsync/log/HotSyncLog.h"
#include "hotsync/manager/ExitStatus.h"
#include "hotsync/manager/FileKind.h"
#include "hotsync/manager/HotSyncCommand.h"
#include "hotsync/manager/HotSyncContext.h"
#include "hotsync/manager/LogListing.h"
#include "hotsync/manager/TerminalText.h"
#include "hotsync/users/UsersResults.h"

namespace tallimor {
namespace {

// Writes one user's log; a log that cannot be read sets *status and the others go on.
void WriteUserLog(HotSyncContext& context, const std::string& root, const HotSyncUser& user, int* status) {
  HotSyncLog log(root + user.directory);
  std::vector<LogRun> runs;
  if (const Result r = log.ReadRuns(&runs); r != kOk) {
    *status = context.Fail("cannot read " + log.path() + ": " + FileKind::Problem(log.path(), ResultMeaning(r)));
    return;
  }
  if (runs.empty()) context.out() << "No HotSync yet.\n";
  for (const LogRun& run : runs) WriteLogRun(run, context.out());
}

int RunLog(HotSyncContext& context, const CommandLine& line) {
  UserData users(context.root());
  int status = kHotSyncExitOk;
  if (const std::string* name = line.Value("user"); name != nullptr) {
    HotSyncUser user;
    if (const int selected = context.SelectUser(users, name, &user); selected != kHotSyncExitOk) return selected;
    WriteUserLog(context, users.root(), user, &status);
    return status;
  }
  std::vector<HotSyncUser> all;
  if (const Result r = users.Users(&all); r != kOk) {
    return context.Fail("cannot read the HotSync users: " + std::string(UsersResultMeaning(r)));
  }
  if (all.empty()) context.out() << "No HotSync users yet.\n";
  for (const HotSyncUser& user : all) {
    if (all.size() > 1) context.out() << "== " << TerminalText(user.name) << " ==\n";
    WriteUserLog(context, users.root(), user, &status);
  }
  return status;
}

}  // namespace

const HotSyncCommand kLogCommand{
    {"log",
     "show the HotSync log",
     "Shows the HotSync log of the user NAME, or of every user: each HotSync with its\n"
     "outcome and its entries.\n",
     {{'u', "user", "NAME", "the HotSync user"}},
     {}},
    RunLog};

}  // namespace tallimor
