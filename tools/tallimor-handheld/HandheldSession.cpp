// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// One command's run on the emulated handheld. The handheld is locked from the moment
// it is opened until the session ends, so no HotSync writes it between this command's
// reading and its writing. The password is read only when memo text of a protected
// database must be read or written, and every copy of it, and of memo text read from
// standard input, is wiped once used.
#include "tools/tallimor-handheld/HandheldSession.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "protect/PasswordInfo.h"
#include "hotsync/handheld/HandheldDatabase.h"
#include "cli/ArgumentText.h"
#include "cli/CommandHelp.h"
#include "text/ShownText.h"
#include "tools/common/PasswordPrompt.h"
#include "tools/common/TextOutput.h"
#include "tools/tallimor-handheld/NumberArgument.h"

namespace tallimor {
namespace {

// More than any memo can hold as UTF-8 (a memo is at most 65,535 bytes of code page
// 932, and no character takes more than twice its bytes as UTF-8).
constexpr std::size_t kMaxInputBytes = 256 * 1024;

enum class InputRead { kOk, kTooLong, kError };

// Reads standard input to its end straight from the descriptor (no stdio buffer keeps
// a copy). The buffer never reallocates, so no copy of the text is left behind.
InputRead ReadAllInput(std::string* text, int* readErrno) {
  text->clear();
  text->reserve(kMaxInputBytes);
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *readErrno = errno;
      WipeSecret(buffer, sizeof buffer);
      return InputRead::kError;
    }
    if (n == 0) break;
    if (text->size() + static_cast<std::size_t>(n) > kMaxInputBytes) {
      WipeSecret(buffer, sizeof buffer);
      return InputRead::kTooLong;
    }
    text->append(buffer, static_cast<std::size_t>(n));
  }
  WipeSecret(buffer, sizeof buffer);
  return InputRead::kOk;
}

}  // namespace

HandheldSession::HandheldSession(const ProgramSpec& program, const CommandSpec& command, std::string directory,
                                 std::ostream& out, std::ostream& err)
    : program_(program), command_(command), directory_(std::move(directory)), out_(out), err_(err) {}

int HandheldSession::Usage(const std::string& message) {
  return CommandHelp::UsageError(program_, &command_, message, err_);
}

int HandheldSession::Report(const std::string& message, int status) {
  err_ << kHandheldProgram << " " << command_.name << ": " << message << "\n";
  return status;
}

void HandheldSession::Note(const std::string& message) { err_ << kHandheldProgram << ": note: " << message << "\n"; }

bool HandheldSession::ToCp932(const std::string& utf8, const std::string& what, std::string* cp932, int* status) {
  std::string error;
  if (ArgumentText::ToCp932(utf8, what, cp932, &error)) return true;
  *status = Fail(error);
  return false;
}

bool HandheldSession::HintOption(const CommandLine& line, std::string* hint, int* status) {
  if (const std::string* typed = line.Value("hint"); typed != nullptr && !ToCp932(*typed, "the hint", hint, status)) {
    return false;
  }
  std::string error;
  if (MemoDatabase::CheckHint(*hint, &error)) return true;
  *status = Fail(error);
  return false;
}

int HandheldSession::MemoText(const std::string& argument, std::string* cp932) {
  int status = kExitOk;
  if (argument != "-") return ToCp932(argument, "the memo text", cp932, &status) ? kExitOk : status;
  if (isatty(STDIN_FILENO) == 1) {
    err_ << "Type the memo text; end it with Ctrl-D at the start of a line.\n" << std::flush;
  }
  std::string typed;
  int readErrno = 0;
  switch (ReadAllInput(&typed, &readErrno)) {
    case InputRead::kOk:
      break;
    case InputRead::kTooLong:
      WipeSecret(typed);
      return Fail("the memo text on standard input is longer than " + std::to_string(kMaxInputBytes) + " bytes");
    case InputRead::kError:
      WipeSecret(typed);
      return Fail(std::string("cannot read the memo text from standard input: ") + std::strerror(readErrno));
  }
  // "printf 'text\n'" and "echo text" end the text with a line end nobody means.
  if (!typed.empty() && typed.back() == '\n') {
    typed.pop_back();
    if (!typed.empty() && typed.back() == '\r') typed.pop_back();
  }
  const bool converted = ToCp932(typed, "the memo text on standard input", cp932, &status);
  WipeSecret(typed);
  return converted ? kExitOk : status;
}

int HandheldSession::OpenHandheld() {
  std::string error;
  const Result opened = Handheld::Open(directory_, &handheld_, &error);
  if (opened == kSyncErrNotFound) return Fail(error + " (make one with 'init --user NAME')");
  if (opened != kSyncErrNone) return Fail(error);
  // Held until the command ends: a HotSync must not write the handheld between this
  // command's reading and its writing, nor this command between a HotSync's.
  if (handheld_->Lock(kHandheldProgram, &error) != kSyncErrNone) return Fail(error);
  return kExitOk;
}

int HandheldSession::OpenMemo(bool needsText) {
  const int status = OpenHandheld();
  if (status != kExitOk) return status;
  std::unique_ptr<HandheldDatabase> db;
  std::string error;
  const Result loaded = handheld_->LoadDatabase(MemoDatabase::kDatabaseName, &db, &error);
  const std::string file = handheld_->DatabasePath(MemoDatabase::kDatabaseName);
  if (loaded == kSyncErrNotFound) {
    return Fail("the handheld has no memo database " + file + " (make one with 'create-db')");
  }
  if (loaded != kSyncErrNone) return Fail(file + " cannot be read: " + error);
  if (MemoDatabase::Adopt(std::move(db), &memo_, &error) != kOk) return Fail(file + ": " + error);
  if (needsText && memo_->IsProtected()) return Unlock("Password: ");
  return kExitOk;
}

int HandheldSession::Unlock(const char* prompt) {
  std::string password;
  std::string error;
  if (!ReadCodePage932Password(prompt, &password, &error)) return Report(error, kExitPassword);
  const bool matches = memo_->Unlock(password);
  WipeSecret(password);
  if (!matches) return Report("wrong password: it does not match the password of the memo database", kExitPassword);
  return kExitOk;
}

int HandheldSession::ReadNewPassword(std::string* password) {
  std::string error;
  if (!ReadCodePage932Password("New password: ", password, &error)) return Report(error, kExitPassword);
  if (!MemoDatabase::CheckPassword(*password, &error)) {
    WipeSecret(*password);
    return Report(error, kExitPassword);
  }
  if (isatty(STDIN_FILENO) == 1) {
    std::string again;
    if (!ReadCodePage932Password("Retype new password: ", &again, &error)) {
      WipeSecret(*password);
      return Report(error, kExitPassword);
    }
    const bool same = again == *password;
    WipeSecret(again);
    if (!same) {
      WipeSecret(*password);
      return Report("the two passwords typed differ; nothing was changed", kExitPassword);
    }
  }
  return kExitOk;
}

int HandheldSession::SetNewPassword(const std::string& hint) {
  std::string password;
  const int status = ReadNewPassword(&password);
  if (status != kExitOk) return status;
  std::string error;
  const Result changed = memo_->ChangePassword(password, hint, &error);
  WipeSecret(password);
  return changed == kOk ? kExitOk : Fail(error);
}

int HandheldSession::Save() {
  std::string error;
  if (handheld_->SaveDatabase(MemoDatabase::kDatabaseName, memo_->database(), &error) != kSyncErrNone) {
    return Fail("the memo database cannot be written: " + error);
  }
  return kExitOk;
}

int HandheldSession::SaveIfChanged(bool changed, const std::string& unchanged) {
  if (changed) return Save();
  Note(unchanged + "; nothing was changed");
  return kExitOk;
}

bool HandheldSession::MemoId(const std::string& text, std::uint32_t* id, int* status) {
  if (NumberArgument::RecordId(text, id)) return true;
  *status = Usage("'" + text + "' is not a memo id (1 to 16777215, or 0x1 to 0xFFFFFF)");
  return false;
}

bool HandheldSession::CategoryIndex(const std::string& text, int* index, int* status) {
  if (NumberArgument::CategoryIndex(text, index)) return true;
  *status = Usage("'" + text + "' is not a category index (0 to 15)");
  return false;
}

std::string HandheldSession::MemoUtf8(const PdbRecord& record, std::size_t* undecodable) const {
  std::string cp932 = memo_->MemoText(record);
  std::size_t bytes = 0;
  std::string utf8 = ShowCp932AsUtf8(cp932, ControlCharacters::kKeep, &bytes);
  WipeSecret(cp932);
  if (bytes > 0) ++*undecodable;
  return utf8;
}

void HandheldSession::NoteUndecodable(std::size_t undecodable) {
  if (undecodable > 0) {
    Note(std::to_string(undecodable) + " memo(s) hold bytes that are not code page 932 text; each such byte shows as \\xHH");
  }
}

std::string HandheldSession::CategoryName(const CPCategoryTable& categories, int index) {
  const CPCategory* category = categories.At(index);
  if (category == nullptr || category->Name() == nullptr) return "";
  return ShowCp932AsUtf8(category->Name());
}

}  // namespace tallimor
