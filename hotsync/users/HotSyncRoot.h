// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Where the HotSync data of this computer lives: the root directory that holds the
// users file and one HotSync directory per user. Every program finds it here, so
// that the HotSync program, the conduit and the desktop program agree.
#pragma once

#include <string>
#include <string_view>

namespace tallimor {

// Environment variable that names the HotSync root outright.
inline constexpr const char* kHotSyncRootVariable = "TALLIMOR_HOTSYNC_ROOT";

// The HotSync root as an absolute path ending in '/' (a user's directory name is
// appended to it directly). In order: `chosen` when not empty (a --root option),
// $TALLIMOR_HOTSYNC_ROOT when set and not empty, $XDG_DATA_HOME/Tallimor/HotSync
// when that is an absolute path, else ~/.local/share/Tallimor/HotSync with the
// home directory from $HOME or, failing that, the password database. A relative
// path is taken from the current directory. The directory is not created.
std::string HotSyncRoot(std::string_view chosen = {});

}  // namespace tallimor
