// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// prctl and setrlimit; nothing here can fail in a way the caller could mend, so the
// result only tells the tests and a curious caller whether the system agreed.
#include "crypto/ProcessHardening.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace tallimor {

bool ProcessHardening::HardenProcess() {
  const rlimit none{0, 0};
  const bool limited = setrlimit(RLIMIT_CORE, &none) == 0;
  const bool undumpable = prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
  return limited && undumpable;
}

bool ProcessHardening::CoreDumpsOff() {
  if (prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0) return true;
  rlimit current{};
  return getrlimit(RLIMIT_CORE, &current) == 0 && current.rlim_cur == 0;
}

}  // namespace tallimor
