// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// move: moves a memo to another category.
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

namespace tallimor {
namespace {

int RunMove(HandheldSession& s, const CommandLine& line) {
  std::uint32_t id = 0;
  int category = 0;
  int status = kExitOk;
  if (!s.MemoId(line.arguments()[0], &id, &status) || !s.CategoryIndex(line.arguments()[1], &category, &status) ||
      (status = s.OpenMemo(false)) != kExitOk) {
    return status;
  }
  bool changed = false;
  std::string error;
  if (s.memo().MoveMemo(id, category, &changed, &error) != kOk) return s.Fail(error);
  return s.SaveIfChanged(changed,
                         "memo " + std::to_string(id) + " is already in category " + std::to_string(category));
}

}  // namespace

const HandheldCommand kMoveCommand{
    {"move",
     "move a memo to another category",
     "Moves memo ID to the category at INDEX (0 to 15; it must exist) and marks it changed.\n",
     {},
     {{"ID"}, {"INDEX"}}},
    RunMove};

}  // namespace tallimor
