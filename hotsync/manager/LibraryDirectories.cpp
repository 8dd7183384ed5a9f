// The search directories come from the build: where the build tree puts each library
// and where an installation puts them (the conduit in a directory of its own, with its
// help page beside it).
#include "hotsync/manager/LibraryDirectories.h"

#if !defined(TALLIMOR_BUILD_CONDUIT_DIR) || !defined(TALLIMOR_BUILD_NOTIFIER_DIR) || \
    !defined(TALLIMOR_INSTALL_LIBDIR)
#error "the library directories must come from the build"
#endif

namespace tallimor {

std::vector<std::string> ConduitDirectories() {
  return {TALLIMOR_BUILD_CONDUIT_DIR, TALLIMOR_INSTALL_LIBDIR "/tallimor"};
}

std::vector<std::string> NotifierDirectories() {
  return {TALLIMOR_BUILD_NOTIFIER_DIR, TALLIMOR_INSTALL_LIBDIR "/tallimor", TALLIMOR_INSTALL_LIBDIR};
}

}  // namespace tallimor
