// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program as a second writer of record.dat, saving while a HotSync may be
// running, driven through the desktop's own record store: it loads the file, makes its
// changes and saves. A load or save that finds the file held by the conduit (it cannot
// be opened locked) is tried again a little later; a save refused because the file
// changed since the load is followed by a new load, the same changes made again and a
// new save, as the program does when it finds its file changed under it.
#pragma once

#include <functional>
#include <string>

#include "tests/reliability/World.h"

namespace tallimor::reliability {

struct DesktopSaveOutcome {
  bool saved = false;       // a save returned 0: the changes are on the desktop
  long heldLoads = 0;       // loads refused while another program had the file
  long heldSaves = 0;       // saves refused (kErrWrite) while another program had the file
  long changedSaves = 0;    // saves refused (kErrFileChanged): the file changed since the load
  std::string error;        // why the changes were never saved
  long Refused() const { return heldLoads + heldSaves + changedSaves; }
};

class DesktopProgram {
 public:
  DesktopProgram(World world, std::string password) : world_(std::move(world)), password_(std::move(password)) {}

  // Loads, changes and saves, retrying as the program does while `othersRunning` is
  // true, and a few times once it is false (nothing should hold the file then).
  DesktopSaveOutcome Save(const DesktopChanges& changes, const std::function<bool()>& othersRunning) const;

 private:
  World world_;
  std::string password_;
};

}  // namespace tallimor::reliability
