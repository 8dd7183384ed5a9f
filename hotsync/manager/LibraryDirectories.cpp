// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The search directories come from the build: where the build tree puts each library
// and where an installation puts them (the conduit in a directory of its own, with its
// help page beside it).
#include "hotsync/manager/LibraryDirectories.h"

#include <filesystem>

#include "hotsync/manager/SharedLibrary.h"

#if !defined(TALLIMOR_BUILD_DIR) || !defined(TALLIMOR_BUILD_PROGRAM_DIR) || \
    !defined(TALLIMOR_INSTALL_LIBDIR) || !defined(TALLIMOR_INSTALL_LIBDIR_NAME)
#error "the library directories must come from the build"
#endif

namespace tallimor {
namespace {

// Only the build's own program counts: an installation made into a prefix inside the
// build tree (as the install tests do) is still an installation.
bool InBuildTree(const std::string& programDirectory) {
  return programDirectory == TALLIMOR_BUILD_PROGRAM_DIR "/";
}

// bin/../lib of an installation, wherever its prefix was moved to.
std::string InstalledLibDir(const std::string& programDirectory) {
  const std::filesystem::path lib(programDirectory + "../" TALLIMOR_INSTALL_LIBDIR_NAME);
  return lib.lexically_normal().string();
}

}  // namespace

std::vector<std::string> ConduitDirectoriesFor(const std::string& programDirectory) {
  if (InBuildTree(programDirectory)) return {TALLIMOR_BUILD_DIR "/conduit"};
  return {InstalledLibDir(programDirectory) + "/tallimor", TALLIMOR_INSTALL_LIBDIR "/tallimor"};
}

std::vector<std::string> NotifierDirectoriesFor(const std::string& programDirectory) {
  if (InBuildTree(programDirectory)) return {TALLIMOR_BUILD_DIR "/notifier"};
  const std::string local = InstalledLibDir(programDirectory);
  return {local + "/tallimor", local, TALLIMOR_INSTALL_LIBDIR "/tallimor", TALLIMOR_INSTALL_LIBDIR};
}

std::vector<std::string> ConduitDirectories() {
  return ConduitDirectoriesFor(SharedLibrary::ProgramDirectory());
}

std::vector<std::string> NotifierDirectories() {
  return NotifierDirectoriesFor(SharedLibrary::ProgramDirectory());
}

}  // namespace tallimor
