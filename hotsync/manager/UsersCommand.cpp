// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// users: the HotSync users, one a line.
#include <vector>

#include "hotsync/manager/ExitStatus.h"
#include "hotsync/manager/HotSyncCommand.h"
#include "hotsync/manager/HotSyncContext.h"
#include "hotsync/manager/TerminalText.h"
#include "hotsync/users/UsersResults.h"

namespace tallimor {
namespace {

int RunUsers(HotSyncContext& context, const CommandLine&) {
  UserData users(context.root());
  std::vector<HotSyncUser> all;
  if (const Result r = users.Users(&all); r != kOk) {
    return context.Fail("cannot read the HotSync users: " + std::string(UsersResultMeaning(r)));
  }
  for (const HotSyncUser& user : all) {
    context.out() << user.id << "\t" << TerminalText(user.name) << "\t" << users.root() << TerminalText(user.directory)
                  << "\n";
  }
  return kHotSyncExitOk;
}

}  // namespace

const HotSyncCommand kUsersCommand{
    {"users",
     "list the HotSync users",
     "Lists the HotSync users, one a line: user id, name and HotSync directory,\n"
     "separated by tabs.\n",
     {},
     {}},
    RunUsers};

}  // namespace tallimor
