// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// password: sets, changes or removes the password of the memo database; every memo is
// enciphered anew, so the next HotSync carries the new form to the desktop.
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

namespace tallimor {

namespace {

int RunPassword(HandheldSession& s, const CommandLine& line) {
  int status = kExitOk;
  std::string hint;
  const bool remove = line.Has("remove");
  if (line.Has("hint") && remove) return s.Usage("--hint and --remove exclude each other");
  if (!s.HintOption(line, &hint, &status)) return status;
  status = s.OpenMemo(false);
  if (status != kExitOk) return status;
  if (remove && !s.memo().IsProtected()) return s.Fail("the memo database has no password to remove");
  if (s.memo().IsProtected()) {
    status = s.Unlock("Current password: ");
    if (status != kExitOk) return status;
  }
  if (remove) {
    std::string error;
    if (s.memo().ChangePassword("", "", &error) != kOk) return s.Fail(error);
  } else {
    if (!line.Has("hint")) hint = s.memo().hint();  // a new password keeps the hint
    status = s.SetNewPassword(hint);
    if (status != kExitOk) return status;
  }
  return s.Save();
}

}  // namespace

const HandheldCommand kPasswordCommand{
    {"password",
     "set, change or remove the password",
     "Sets a new password, asking for the current one first when there is one. Every\n"
     "memo is enciphered anew and marked changed, so the next HotSync carries it to the\n"
     "desktop. Without --hint the old hint is kept. A new password has 1 to 16\n"
     "characters and is typed twice on a terminal. When standard input is not a\n"
     "terminal, its first line is the current password (if one is set) and the next\n"
     "line the new one.\n",
     {{'\0', "hint", "TEXT", "store a new hint, at most 255 bytes", false, true},
      {'\0', "remove", nullptr, "take the password and the hint away and store the memos plain"}},
     {},
     "[--hint TEXT] | --remove"},
    RunPassword};

}  // namespace tallimor
