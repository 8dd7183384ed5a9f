// Where the HotSync program looks for the conduit and the notifier after its own
// directory: the build tree that made it, then the installed library directories.
#pragma once

#include <string>
#include <vector>

namespace tallimor {

std::vector<std::string> ConduitDirectories();
std::vector<std::string> NotifierDirectories();

}  // namespace tallimor
