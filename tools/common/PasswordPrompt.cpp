// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Password input from the terminal (echo off, restored on every way out, signals
// included) or from the first line of a non-terminal standard input, and its
// conversion to the code page 932 bytes that the digest and the cipher see.
#include "tools/common/PasswordPrompt.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "protect/PasswordInfo.h"
#include "text/CodePage932.h"

namespace tallimor {
namespace {

constexpr std::size_t kMaxPasswordBytes = 1024;
constexpr int kCaughtSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP};

// The terminal settings to put back if a signal ends the program during the prompt.
termios g_savedTerminal;
volatile sig_atomic_t g_echoOff = 0;

void RestoreTerminalAndDie(int signal) {
  if (g_echoOff) tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
  ::signal(signal, SIG_DFL);
  raise(signal);
}

enum class LineRead { kLine, kEmptyInput, kReadError, kTooLong };

// Reads standard input up to the first LF, one byte at a time; a CR before the LF is
// dropped. The string is reserved up front so it never reallocates and leaves a copy.
LineRead ReadFirstLine(std::string* line, int* readErrno) {
  line->clear();
  line->reserve(kMaxPasswordBytes + 1);
  bool any = false;
  bool tooLong = false;
  for (;;) {
    char c = 0;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0) {
      if (errno == EINTR) continue;
      *readErrno = errno;
      WipeSecret(*line);
      return LineRead::kReadError;
    }
    if (n == 0) break;
    any = true;
    if (c == '\n') break;
    if (line->size() >= kMaxPasswordBytes) {
      tooLong = true;  // keep reading to the line end, so the rest is not taken for input
      continue;
    }
    line->push_back(c);
    c = 0;
  }
  if (tooLong) {
    WipeSecret(*line);
    return LineRead::kTooLong;
  }
  if (!any) return LineRead::kEmptyInput;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return LineRead::kLine;
}

}  // namespace

bool ReadPassword(const char* prompt, std::string* password, std::string* error) {
  const bool terminal = isatty(STDIN_FILENO) == 1;
  struct sigaction previous[sizeof kCaughtSignals / sizeof kCaughtSignals[0]];
  if (terminal) {
    if (tcgetattr(STDIN_FILENO, &g_savedTerminal) != 0) {
      *error = std::string("cannot read the terminal settings: ") + std::strerror(errno);
      return false;
    }
    struct sigaction restore {};
    restore.sa_handler = RestoreTerminalAndDie;
    sigemptyset(&restore.sa_mask);
    for (std::size_t i = 0; i < sizeof kCaughtSignals / sizeof kCaughtSignals[0]; ++i) {
      sigaction(kCaughtSignals[i], &restore, &previous[i]);
    }
    termios quiet = g_savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;  // the Enter key still moves to the next line
    g_echoOff = 1;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    if (prompt != nullptr) {
      const ssize_t written = ::write(STDERR_FILENO, prompt, std::strlen(prompt));
      (void)written;  // a prompt that cannot be shown does not stop the input
    }
  }

  int readErrno = 0;
  const LineRead read = ReadFirstLine(password, &readErrno);

  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
    g_echoOff = 0;
    for (std::size_t i = 0; i < sizeof kCaughtSignals / sizeof kCaughtSignals[0]; ++i) {
      sigaction(kCaughtSignals[i], &previous[i], nullptr);
    }
  }

  switch (read) {
    case LineRead::kLine:
      return true;
    case LineRead::kEmptyInput:
      *error = terminal ? "no password was typed" : "no password on standard input";
      return false;
    case LineRead::kReadError:
      *error = std::string("cannot read the password: ") + std::strerror(readErrno);
      return false;
    case LineRead::kTooLong:
      *error = "the password is longer than 1024 bytes";
      return false;
  }
  return false;
}

bool ReadCodePage932Password(const char* prompt, std::string* cp932, std::string* error) {
  std::string typed;
  if (!ReadPassword(prompt, &typed, error)) return false;
  Converted<std::string> key = CodePage932::FromUtf8(typed);
  WipeSecret(typed);
  if (!key.ok()) {
    WipeSecret(key.text);
    *error = std::string("the password cannot be used: ") + CodePage932::ErrorMeaning(key.error) +
             " (it is read as UTF-8 and must be representable in code page 932)";
    return false;
  }
  *cp932 = std::move(key.text);
  return true;
}

}  // namespace tallimor
