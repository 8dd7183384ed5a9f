// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Finds and loads the HotSync program's run-time libraries. The search is a short,
// fixed list so that a user can always tell which conduit ran: the environment
// variable, the program's own directory, the build tree, the installed library
// directory.
#include "hotsync/manager/SharedLibrary.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace tallimor {
namespace {

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string WithSlash(std::string directory) {
  if (!directory.empty() && directory.back() != '/') directory += '/';
  return directory;
}

}  // namespace

std::string SharedLibrary::Locate(const Search& search, bool* fromVariable) {
  if (fromVariable != nullptr) *fromVariable = false;
  if (search.variable != nullptr) {
    if (const char* chosen = std::getenv(search.variable); chosen != nullptr) {
      if (fromVariable != nullptr) *fromVariable = true;
      return chosen;
    }
  }
  std::vector<std::string> directories;
  if (std::string own = ProgramDirectory(); !own.empty()) directories.push_back(own);
  directories.insert(directories.end(), search.directories.begin(), search.directories.end());
  for (const std::string& directory : directories) {
    if (directory.empty()) continue;
    const std::string candidate = WithSlash(directory) + search.fileName;
    if (IsFile(candidate)) return candidate;
  }
  return {};
}

bool SharedLibrary::Load(const std::string& path, std::string* error) {
  // A path without a '/' would send dlopen searching the system's library path.
  const std::string exact = path.find('/') == std::string::npos ? "./" + path : path;
  dlerror();
  handle_ = ::dlopen(exact.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    if (error != nullptr) *error = why != nullptr ? why : "cannot be loaded";
    return false;
  }
  path_ = exact;
  return true;
}

void* SharedLibrary::Symbol(const char* name) const {
  return handle_ == nullptr ? nullptr : ::dlsym(handle_, name);
}

std::string SharedLibrary::ProgramDirectory() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  std::string path(buffer, static_cast<std::size_t>(n));
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace tallimor
