// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program's save with its retries, over the desktop's record store.
#include "tests/reliability/DesktopProgram.h"

#include <chrono>
#include <thread>

#include "protect/CProtectedRecordFile.h"
#include "store/ResultCodes.h"

namespace tallimor::reliability {
namespace {

// How long the program waits before it tries a refused load or save again.
constexpr std::chrono::milliseconds kRetryPause{2};
// Attempts left once no other program runs: a load, a save, a reload after a change
// and its save, with room to spare. More would only hide a file left locked.
constexpr int kAttemptsAfterOthers = 6;

}  // namespace

DesktopSaveOutcome DesktopProgram::Save(const DesktopChanges& changes,
                                        const std::function<bool()>& othersRunning) const {
  DesktopSaveOutcome outcome;
  CProtectedRecordFile file(world_.recordFile(), password_.c_str());
  bool loaded = false;
  int attemptsLeft = kAttemptsAfterOthers;
  Result last = kOk;
  // Tests othersRunning() before the attempt, so that an attempt refused after the
  // other program ended counts against the attempts left.
  for (bool others = othersRunning(); others || attemptsLeft-- > 0; others = others && othersRunning()) {
    if (!loaded) {
      last = file.Load();
      if (last == kErrOpenFailed) {
        ++outcome.heldLoads;
        std::this_thread::sleep_for(kRetryPause);
        continue;
      }
      if (last != kOk) break;
      if (!ApplyDesktopChanges(file, changes, &outcome.error)) {
        file.SetDirty(false);  // the program's changes could not be made: nothing to save at exit
        return outcome;
      }
      loaded = true;
    }
    last = file.Save();
    if (last == kOk) {
      outcome.saved = true;
      return outcome;
    }
    if (last == kErrWrite) {
      ++outcome.heldSaves;
      std::this_thread::sleep_for(kRetryPause);
    } else if (last == kErrFileChanged) {
      ++outcome.changedSaves;
      loaded = false;
    } else {
      break;
    }
  }
  outcome.error = "the desktop's " + std::string(loaded ? "save" : "load") + " still failed with " +
                  std::to_string(last) + " after the other program had ended";
  // The model gives up here; its unsaved changes are dropped rather than written at exit.
  file.SetDirty(false);
  return outcome;
}

}  // namespace tallimor::reliability
