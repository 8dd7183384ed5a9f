// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Reporting and user selection shared by the commands of `hotsync`. A name typed on the
// command line is converted to code page 932 before it is looked up, so a Japanese
// name finds the user a handheld brought, and one that cannot be converted is refused
// as such rather than reported as an unknown user.
#include "hotsync/manager/HotSyncContext.h"

#include <vector>

#include "hotsync/manager/ExitStatus.h"
#include "hotsync/manager/HotSyncCommands.h"
#include "hotsync/users/UsersResults.h"
#include "cli/ArgumentText.h"
#include "cli/CommandHelp.h"

namespace tallimor {

int HotSyncContext::Usage(const std::string& message) {
  return CommandHelp::UsageError(program_, &command_, message, err_);
}

int HotSyncContext::Fail(const std::string& message) {
  err_ << kHotSyncProgram << ": " << message << "\n";
  return kHotSyncExitFailed;
}

int HotSyncContext::SelectUser(UserData& users, const std::string* name, HotSyncUser* user) {
  if (name != nullptr) {
    std::string stored;
    std::string error;
    if (!ArgumentText::ToCp932(*name, "the user name", &stored, &error)) return Fail(error);
    const Result r = users.FindUserByName(stored, user);
    if (r == kUsersErrUnknownUser) {
      return Fail("there is no HotSync user \"" + *name + "\" in " + users.root() + " ('hotsync users' lists them)");
    }
    if (r != kOk) return Fail("cannot read the HotSync users: " + std::string(UsersResultMeaning(r)));
    return kHotSyncExitOk;
  }
  std::vector<HotSyncUser> all;
  const Result r = users.Users(&all);
  if (r != kOk) return Fail("cannot read the HotSync users: " + std::string(UsersResultMeaning(r)));
  if (all.empty()) return Fail("there are no HotSync users in " + users.root() + " yet; HotSync a handheld first");
  if (all.size() > 1) return Fail("there are several HotSync users; choose one with --user NAME");
  *user = all.front();
  return kHotSyncExitOk;
}

}  // namespace tallimor
