// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// private: sets or clears the private attribute of a memo.
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

namespace tallimor {
namespace {

int RunPrivate(HandheldSession& s, const CommandLine& line) {
  std::uint32_t id = 0;
  int status = kExitOk;
  if (!s.MemoId(line.arguments()[0], &id, &status)) return status;
  const std::string& setting = line.arguments()[1];
  if (setting != "on" && setting != "off") return s.Usage("the second argument must be 'on' or 'off'");
  status = s.OpenMemo(false);
  if (status != kExitOk) return status;
  bool changed = false;
  std::string error;
  if (s.memo().SetPrivate(id, setting == "on", &changed, &error) != kOk) return s.Fail(error);
  return s.SaveIfChanged(changed,
                         "memo " + std::to_string(id) + " is already " + (setting == "on" ? "private" : "public"));
}

}  // namespace

const HandheldCommand kPrivateCommand{
    {"private",
     "make a memo private or public",
     "Sets (on) or clears (off) the private attribute of memo ID and marks it changed.\n",
     {},
     {{"ID"}, {"on|off"}}},
    RunPrivate};

}  // namespace tallimor
