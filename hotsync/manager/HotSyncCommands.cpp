// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The table of `hotsync`'s commands and the program's own options. Each command is a
// short function over the HotSync root in a file of its own; the HotSync itself is
// HotSyncSession's.
#include "hotsync/manager/HotSyncCommands.h"

#include "hotsync/manager/ExitStatus.h"
#include "hotsync/manager/HotSyncCommand.h"
#include "hotsync/manager/HotSyncContext.h"
#include "hotsync/users/HotSyncRoot.h"
#include "cli/Invocation.h"

#ifndef TALLIMOR_VERSION
#error "TALLIMOR_VERSION must come from the build"
#endif

namespace tallimor {
namespace {

const HotSyncCommand* const kCommands[] = {&kSyncCommand, &kConfigureCommand, &kLogCommand, &kUsersCommand};

}  // namespace

const ProgramSpec& HotSyncProgramSpec() {
  static const ProgramSpec program{
      kHotSyncProgram,
      TALLIMOR_VERSION,
      "The HotSync manager of Tallimor: HotSyncs an emulated handheld with the Tallimor\n"
      "conduit, lets you choose the conduit's HotSync action, and shows the HotSync log.\n",
      {"",
       "",
       "",
       {{'r', "root", "DIR",
         "the HotSync root (default $TALLIMOR_HOTSYNC_ROOT, else\n"
         "$XDG_DATA_HOME/Tallimor/HotSync, else ~/.local/share/Tallimor/HotSync)"},
        {'h', "help", nullptr, "show this help ('hotsync help COMMAND' or\n'hotsync COMMAND --help' shows a command's)"},
        kVersionOption},
       {},
       "[--root DIR] COMMAND [OPTIONS]"},
      Invocation::SpecsOf(kCommands),
      "hotsync [--root DIR]",
      "Environment:\n"
      "  TALLIMOR_HANDHELD    the emulated handheld of 'sync' when --handheld is not given\n"
      "  TALLIMOR_CONDUIT     the conduit library to load instead of libTallimorC.so\n"
      "                       from hotsync's directory, then its build tree or, when\n"
      "                       installed, <prefix>/lib/tallimor\n"
      "  TALLIMOR_NOTIFIER    the notifier library instead of libTallimorN.so, found the\n"
      "                       same way; set empty to HotSync without a notifier\n"
      "  TALLIMOR_SYNC_FAULT  make one Sync Manager call fail: call=N,kind=comm|storage\n"
      "\n"
      "Exit status: 0 success, 1 failure, 2 wrong command line, 3 the HotSync was\n"
      "refused by the Tallimor desktop program.\n",
      ""};
  return program;
}

int RunHotSyncProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const ProgramSpec& program = HotSyncProgramSpec();
  Invocation invocation;
  int status = kHotSyncExitOk;
  if (!invocation.Read(program, arguments, out, err, &status)) return status;
  const HotSyncCommand* command = invocation.Chosen(kCommands);
  const std::string* root = invocation.global().Value("root");
  HotSyncContext context(program, command->spec, HotSyncRoot(root == nullptr ? "" : *root), out, err);
  return command->run(context, invocation.parsed());
}

}  // namespace tallimor
