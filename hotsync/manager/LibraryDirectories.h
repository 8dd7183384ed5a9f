// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Where the HotSync program looks for the conduit and the notifier after its own
// directory. A program run from the build tree that made it uses that tree's
// libraries; an installed program uses the installation beside it (bin/../lib), then
// the library directory it was configured for, and never a build tree that happens to
// still exist.
#pragma once

#include <string>
#include <vector>

namespace tallimor {

std::vector<std::string> ConduitDirectories();
std::vector<std::string> NotifierDirectories();

// The choice itself, for a program in programDirectory (ends with '/').
std::vector<std::string> ConduitDirectoriesFor(const std::string& programDirectory);
std::vector<std::string> NotifierDirectoriesFor(const std::string& programDirectory);

}  // namespace tallimor
