// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Turning core dumps and debugger attachment off for a program that holds a key or a
// password. A core file of such a program would hold the deciphered memos and the key;
// so would the memory another process of the same user reads through ptrace. Every
// program that asks for a password or keeps a key calls HardenProcess first thing in
// main(), before it has read anything secret.
#pragma once

namespace tallimor {

class ProcessHardening {
 public:
  // Sets the core file size limit to 0 (soft and hard, so a child cannot raise it
  // again) and marks the process not dumpable (PR_SET_DUMPABLE 0: no core, and no
  // ptrace attachment by processes without CAP_SYS_PTRACE). True when both took.
  static bool HardenProcess();

  // True when this process can write no core file: not dumpable, or a core limit of 0.
  static bool CoreDumpsOff();
};

}  // namespace tallimor
