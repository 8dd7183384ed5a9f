// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing the profile file: the portable copy wins, then the XDG configuration home.
#include "desktop/ProfileLocation.h"

#include <sys/stat.h>

namespace tallimor {

std::string LocateProfile(std::string_view programDir, const char* xdgConfigHome,
                          const char* home) {
  if (!programDir.empty()) {
    std::string beside(programDir);
    if (beside.back() != '/') beside += '/';
    beside += kProfileFileName;
    struct stat st {};
    if (::stat(beside.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return beside;
  }
  std::string base;
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
    base = xdgConfigHome;
  } else if (home != nullptr && home[0] == '/') {
    base = home;
    if (base.back() != '/') base += '/';
    base += ".config";
  } else {
    return {};
  }
  if (base.back() != '/') base += '/';
  return base + "Tallimor/" + kProfileFileName;
}

}  // namespace tallimor
