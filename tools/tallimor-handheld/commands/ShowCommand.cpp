// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// show: prints the text of one memo, deciphered, as UTF-8.
#include "protect/PasswordInfo.h"
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

namespace tallimor {
namespace {

int RunShow(HandheldSession& s, const CommandLine& line) {
  std::uint32_t id = 0;
  int status = kExitOk;
  if (!s.MemoId(line.arguments()[0], &id, &status) || (status = s.OpenMemo(true)) != kExitOk) return status;
  const HandheldDatabase& db = s.memo().database();
  const auto index = db.IndexOfId(id);
  if (!index) return s.Fail("there is no memo with id " + std::to_string(id));
  std::size_t undecodable = 0;
  std::string text = s.MemoUtf8(*db.RecordAt(*index), &undecodable);
  s.out() << text << "\n";
  WipeSecret(text);
  s.NoteUndecodable(undecodable);
  return kExitOk;
}

}  // namespace

const HandheldCommand kShowCommand{
    {"show", "print the text of a memo", "Prints the text of memo ID, deciphered, as UTF-8.\n", {}, {{"ID"}}},
    RunShow};

}  // namespace tallimor
