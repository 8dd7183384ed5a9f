// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// sync: one HotSync of an emulated handheld. The handheld is --handheld DIR, else
// $TALLIMOR_HANDHELD; the HotSync itself is HotSyncSession's.
#include <cstdlib>
#include <optional>

#include "hotsync/manager/ExitStatus.h"
#include "hotsync/manager/HotSyncCommand.h"
#include "hotsync/manager/HotSyncContext.h"
#include "hotsync/manager/HotSyncSession.h"
#include "hotsync/manager/SyncAction.h"

namespace tallimor {
namespace {

int RunSync(HotSyncContext& context, const CommandLine& line) {
  std::string handheld;
  if (const std::string* given = line.Value("handheld"); given != nullptr) {
    handheld = *given;
  } else if (const char* variable = std::getenv("TALLIMOR_HANDHELD"); variable != nullptr) {
    handheld = variable;
  }
  if (handheld.empty()) return context.Usage("--handheld DIR is required (or set $TALLIMOR_HANDHELD)");
  std::optional<std::int32_t> action;
  if (const std::string* name = line.Value("action"); name != nullptr) {
    std::int32_t syncType = 0;
    if (!ParseSyncAction(*name, &syncType)) return context.Usage(UnknownSyncActionMessage(*name));
    action = syncType;
  }
  HotSyncSession session(context.root(), context.out(), context.err());
  session.SetAllowMassDelete(line.Has("allow-mass-delete"));
  return session.Run(handheld, action);
}

}  // namespace

const HotSyncCommand kSyncCommand{
    {"sync",
     "HotSync the handheld in DIR",
     "HotSyncs the emulated handheld in DIR with the Tallimor conduit. The handheld's\n"
     "user becomes a HotSync user of this computer on its first HotSync. A running\n"
     "Tallimor desktop program is asked first and may refuse (exit status 3). The\n"
     "HotSync log entries of the run are printed; progress goes to standard error.\n"
     "The HotSync holds DIR/handheld.lock for its whole run, so tallimor-handheld\n"
     "cannot change the handheld meanwhile; a HotSync started while a command of\n"
     "tallimor-handheld holds it is refused, naming the holder.\n"
     "\n"
     "ACTION is one of:\n"
     "  fast                 the records changed on either side (the usual HotSync)\n"
     "  slow                 every record of both sides compared\n"
     "  handheld-to-desktop  the handheld overwrites the desktop\n"
     "  desktop-to-handheld  the desktop overwrites the handheld\n"
     "  nothing              nothing is synchronized\n"
     "Without --action the action chosen with 'hotsync configure' is used (fast until\n"
     "one is chosen). A fast HotSync compares every record instead on the first HotSync\n"
     "of a handheld or user, and after a HotSync of the handheld that failed or was\n"
     "interrupted (marked by HotSync.unfinished in the user's HotSync directory).\n"
     "\n"
     "A HotSync that would delete more than a tenth of the desktop's memos (and at\n"
     "least 5) only because the handheld lacks them stops before it changes anything,\n"
     "since that is what a damaged or cut-short handheld database looks like.\n"
     "--allow-mass-delete lets this one HotSync go on.\n",
     {{'H', "handheld", "DIR", "the emulated handheld (default $TALLIMOR_HANDHELD)"},
      {'a', "action", "ACTION", "the HotSync action of this run only"},
      {'\0', "allow-mass-delete", nullptr, "let this HotSync delete many desktop memos"}},
     {}},
    RunSync};

}  // namespace tallimor
