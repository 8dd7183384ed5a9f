// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// init: makes a directory an emulated handheld with a HotSync user name and id. The
// name is typed as UTF-8 and stored in code page 932, as a handheld stores it, so a
// HotSync and the desktop's user list show it as typed.
#include "hotsync/handheld/Handheld.h"
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"
#include "tools/tallimor-handheld/NumberArgument.h"

namespace tallimor {
namespace {

int RunInit(HandheldSession& s, const CommandLine& line) {
  HandheldIdentity identity;
  int status = kExitOk;
  if (!s.ToCp932(*line.Value("user"), "the user name", &identity.userName, &status)) return status;
  if (const std::string* id = line.Value("user-id"); id != nullptr && !NumberArgument::UserId(*id, &identity.userId)) {
    return s.Usage("--user-id takes a number from 0 to 4294967295");
  }
  std::string error;
  if (Handheld::Create(s.directory(), identity, &error) != kSyncErrNone) return s.Fail(error);
  return kExitOk;
}

}  // namespace

const HandheldCommand kInitCommand{
    {"init",
     "make an emulated handheld in DIR",
     "Makes DIR (when missing) an emulated handheld: writes DIR/handheld.ini with the\n"
     "HotSync user name (not empty, at most 40 bytes in code page 932) and user id\n"
     "(0 to 4294967295; 0, the default, means the handheld has not been synchronized\n"
     "yet). Refused when DIR already holds one. A new DIR is made private to you (mode\n"
     "0700), and so are the files of the handheld (mode 0600).\n",
     {{'u', "user", "NAME", "the HotSync user name of the handheld", true},
      {'\0', "user-id", "N", "the HotSync user id (default 0: not yet synchronized)"}},
     {}},
    RunInit};

}  // namespace tallimor
