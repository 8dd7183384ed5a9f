// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// edit: replaces the text of a memo and marks it changed; the text may come from
// standard input ("-") as for add.
#include "protect/PasswordInfo.h"
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

namespace tallimor {
namespace {

int RunEdit(HandheldSession& s, const CommandLine& line) {
  std::uint32_t id = 0;
  int status = kExitOk;
  if (!s.MemoId(line.arguments()[0], &id, &status)) return status;
  const std::string& typed = line.arguments()[1];
  std::string text;
  status = typed == "-" ? kExitOk : s.MemoText(typed, &text);
  if (status != kExitOk || (status = s.OpenMemo(true)) != kExitOk) return status;
  if (typed == "-" && (status = s.MemoText(typed, &text)) != kExitOk) return status;
  bool changed = false;
  std::string error;
  const Result edited = s.memo().EditMemo(id, text, &changed, &error);
  WipeSecret(text);
  if (edited != kOk) return s.Fail(error);
  return s.SaveIfChanged(changed, "memo " + std::to_string(id) + " already has that text");
}

}  // namespace

const HandheldCommand kEditCommand{
    {"edit",
     "replace the text of a memo",
     "Replaces the text of memo ID and marks it changed (nothing happens when the\n"
     "text is the same). A deleted memo cannot be edited.\n"
     "\n"
     "TEXT '-' reads the text from standard input instead, up to its end; one line end\n"
     "at the very end is dropped. When the database is protected, the first line of\n"
     "standard input is the password and the rest is the text.\n",
     {},
     {{"ID"}, {"TEXT"}}},
    RunEdit};

}  // namespace tallimor
