// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A library that the HotSync program loads at run time (the conduit, the notifier):
// where to look for it, loading it with dlopen, and finding its exports. A loaded
// library stays in the process until it ends, as a HotSync manager keeps its conduits:
// a conduit that brought a GUI toolkit along cannot be unloaded safely.
#pragma once

#include <string>
#include <vector>

namespace tallimor {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Where to look for the library file `fileName`, in order: the directory of the
  // running program, then each of `directories`. The environment variable
  // `variable`, when set, overrides the search: its value is the file to load, and
  // an empty value means that no such library is installed.
  struct Search {
    const char* fileName;
    const char* variable;
    std::vector<std::string> directories;
  };

  // The file to load for `search`: the first candidate that exists; "" when there is
  // none (or the variable is set empty). *fromVariable tells whether the variable named it.
  static std::string Locate(const Search& search, bool* fromVariable);

  // Loads the file at `path`. False with *error (dlerror's text) when it cannot be
  // loaded. REQUIRES: nothing loaded yet.
  bool Load(const std::string& path, std::string* error);
  bool loaded() const { return handle_ != nullptr; }
  const std::string& path() const { return path_; }

  // The export `name`, or nullptr.
  void* Symbol(const char* name) const;

  // The directory of the running program, with a trailing '/'; "" when unknown.
  static std::string ProgramDirectory();

 private:
  void* handle_ = nullptr;  // from dlopen; never closed
  std::string path_;        // what was loaded
};

}  // namespace tallimor
