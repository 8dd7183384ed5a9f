// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// delete: marks a memo deleted (or archived) as the handheld does, for the next HotSync
// to remove on both sides.
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

namespace tallimor {
namespace {

int RunDelete(HandheldSession& s, const CommandLine& line) {
  std::uint32_t id = 0;
  int status = kExitOk;
  if (!s.MemoId(line.arguments()[0], &id, &status) || (status = s.OpenMemo(false)) != kExitOk) return status;
  std::string error;
  if (s.memo().DeleteMemo(id, line.Has("archive"), &error) != kOk) return s.Fail(error);
  return s.Save();
}

}  // namespace

const HandheldCommand kDeleteCommand{
    {"delete",
     "delete a memo",
     "Deletes memo ID as the handheld does: it stays in the database, marked deleted\n"
     "and changed, until the next HotSync removes it on both sides. Its text is dropped;\n"
     "with --archive it is kept and the memo marked archived, so that the HotSync\n"
     "keeps a copy in the desktop's archive.\n",
     {{'\0', "archive", nullptr, "keep the text for the desktop's archive"}},
     {{"ID"}}},
    RunDelete};

}  // namespace tallimor
