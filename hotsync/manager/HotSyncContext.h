// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// HotSyncContext: what a command of `hotsync` runs with: the HotSync root, the output
// streams, and the ways it reports, ends, and finds the user a command line names.
#pragma once

#include <ostream>
#include <string>

#include "hotsync/users/UserData.h"
#include "cli/CommandSpec.h"

namespace tallimor {

class HotSyncContext {
 public:
  // `program` and `command` are used for usage errors and must outlive this object.
  HotSyncContext(const ProgramSpec& program, const CommandSpec& command, std::string root, std::ostream& out,
                 std::ostream& err)
      : program_(program), command_(command), root_(std::move(root)), out_(out), err_(err) {}
  HotSyncContext(const HotSyncContext&) = delete;
  HotSyncContext& operator=(const HotSyncContext&) = delete;

  const std::string& root() const { return root_; }
  std::ostream& out() { return out_; }
  std::ostream& err() { return err_; }

  // A usage error of this command (exit status 2).
  int Usage(const std::string& message);
  // The command failed (exit status 1).
  int Fail(const std::string& message);

  // The user that --user names (typed as UTF-8; users are stored in code page 932), or
  // the only user when `name` is nullptr. Returns the exit status: 0 with *user set,
  // or 1 after saying why no user could be chosen.
  int SelectUser(UserData& users, const std::string* name, HotSyncUser* user);

 private:
  const ProgramSpec& program_;
  const CommandSpec& command_;
  std::string root_;
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace tallimor
