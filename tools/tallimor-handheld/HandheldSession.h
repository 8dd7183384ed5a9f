// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// HandheldSession: one run of a tallimor-handheld command: the handheld it acts on
// (opened and locked for the whole command), the memo database, the password and the
// texts it reads, and the ways it reports and ends. Errors go to stderr as one line that
// starts with the program and command names; every method that can fail returns the
// exit status to end with.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "hotsync/handheld/Handheld.h"
#include "hotsync/pdb/PdbFile.h"
#include "store/CPCategoryTable.h"
#include "cli/CommandLine.h"
#include "cli/CommandSpec.h"
#include "tools/tallimor-handheld/MemoDatabase.h"

namespace tallimor {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;    // the command could not be carried out
inline constexpr int kExitUsage = kCommandLineUsageStatus;
inline constexpr int kExitPassword = 3;  // the password is wrong or could not be read

inline constexpr char kHandheldProgram[] = "tallimor-handheld";

class HandheldSession {
 public:
  // The program's declaration is only used for usage errors; both must outlive this.
  HandheldSession(const ProgramSpec& program, const CommandSpec& command, std::string directory, std::ostream& out,
                  std::ostream& err);
  HandheldSession(const HandheldSession&) = delete;
  HandheldSession& operator=(const HandheldSession&) = delete;

  std::ostream& out() { return out_; }
  const std::string& directory() const { return directory_; }

  // A usage error of this command (exit status 2).
  int Usage(const std::string& message);
  // The command failed (exit status 1).
  int Fail(const std::string& message) { return Report(message, kExitFailed); }
  int Report(const std::string& message, int status);
  // A remark on stderr that does not change the outcome.
  void Note(const std::string& message);

  // Typed UTF-8 as the code page 932 bytes that are stored; false with *status set.
  bool ToCp932(const std::string& utf8, const std::string& what, std::string* cp932, int* status);
  // The --hint option as code page 932 bytes that fit (empty when it is not given).
  bool HintOption(const CommandLine& line, std::string* hint, int* status);
  // The memo text of a command: the argument, or standard input when it is "-" (read
  // after the password, which is its first line when the database is protected). The
  // one line end that ends the input is not part of the text.
  // REQUIRES: for "-", OpenMemo(true) has succeeded.
  int MemoText(const std::string& argument, std::string* cp932);

  // Opens the handheld and takes its lock (handheld.lock) until the command ends.
  int OpenHandheld();
  // OpenHandheld, then the memo database; with `needsText` the password of a
  // protected one is read and checked too.
  int OpenMemo(bool needsText);
  // Starts a new memo database in memory (written by Save).
  void NewMemo(std::unique_ptr<MemoDatabase> memo) { memo_ = std::move(memo); }
  // Reads the password and unlocks the memo database with it.
  int Unlock(const char* prompt);
  // Reads a new password (typed twice on a terminal) and sets it with `hint`.
  int SetNewPassword(const std::string& hint);

  Handheld& handheld() { return *handheld_; }
  MemoDatabase& memo() { return *memo_; }

  // Writes the memo database to the handheld.
  int Save();
  // Saves when something changed; otherwise notes why nothing was written.
  int SaveIfChanged(bool changed, const std::string& unchanged);

  // A memo id argument (decimal or 0x-hexadecimal, 1 to 0xFFFFFF); false with *status.
  bool MemoId(const std::string& text, std::uint32_t* id, int* status);
  // A category index argument (0 to 15); false with *status.
  bool CategoryIndex(const std::string& text, int* index, int* status);

  // A memo's text as UTF-8 for display; counts memos that are not code page 932 text.
  std::string MemoUtf8(const PdbRecord& record, std::size_t* undecodable) const;
  // Notes how many memos showed bytes that do not decode.
  void NoteUndecodable(std::size_t undecodable);
  // The name of a category as UTF-8 ("" when there is none at that index).
  static std::string CategoryName(const CPCategoryTable& categories, int index);

 private:
  int ReadNewPassword(std::string* password);

  const ProgramSpec& program_;
  const CommandSpec& command_;
  std::string directory_;
  std::ostream& out_;
  std::ostream& err_;
  std::unique_ptr<Handheld> handheld_;
  std::unique_ptr<MemoDatabase> memo_;
};

}  // namespace tallimor
