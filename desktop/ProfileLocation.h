// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program's profile Tallimor.ini lives: beside the program when a copy already
// stands there (a portable installation), else in the user's configuration directory.
#pragma once

#include <string>
#include <string_view>

namespace tallimor {

inline constexpr char kProfileFileName[] = "Tallimor.ini";

// The profile path for a program in `programDir`, from the environment's
// XDG_CONFIG_HOME and HOME (either may be null): programDir/Tallimor.ini when that file
// exists; else $XDG_CONFIG_HOME/Tallimor/Tallimor.ini when XDG_CONFIG_HOME is an
// absolute path; else $HOME/.config/Tallimor/Tallimor.ini. Empty when no home is known.
std::string LocateProfile(std::string_view programDir, const char* xdgConfigHome,
                          const char* home);

}  // namespace tallimor
