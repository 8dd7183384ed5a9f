// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fixtures of the desktop program's GUI tests: a sandbox per test (private runtime
// directory, HotSync root with users, profile), record files written byte by byte the
// way the handheld's data reaches the desktop, and helpers to spin the event loop.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop/CDesktopApp.h"
#include "tests/support/TempDir.h"

class QWidget;

namespace tallimor::test {

// One memo of a record file fixture.
struct MemoFixture {
  std::uint32_t id;
  std::int32_t category;
  std::string text;  // code page 932 bytes
};

// A record file as a HotSync leaves it: category table, password digest and hint, and
// the memos, enciphered with `password` when it is given.
struct RecordFileFixture {
  std::vector<std::string> categories = {"Unfiled"};  // index 0 upward
  const char* password = nullptr;                      // nullptr: no password
  std::string hint;
  std::vector<MemoFixture> memos;
};

// The bytes of record.dat for `fixture`, built without the store's code.
std::vector<std::uint8_t> BuildRecordFile(const RecordFileFixture& fixture);

// The stored memo form of `text` enciphered with `password`, as it lies in the file.
std::vector<std::uint8_t> EncipherMemo(const std::string& text, const char* password);

// A message box that a test answered instead of the user.
struct ShownMessage {
  int textId;
  int captionId;
  unsigned flags;
};

// A password prompt that a test answered instead of the user.
struct ShownPrompt {
  int captionId;
  int textId;
  QString text;  // the whole text shown, details included
};

// The texts a user reads on `window`'s own controls, in the order they were created:
// label texts, button texts (mnemonic marks included) and group box titles. These are
// what outside tools look controls up by, so tests compare them character for character.
std::vector<std::string> ControlTexts(const QWidget& window);

class DesktopSandbox : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Adds a HotSync user and writes its record file (unless `fixture` is null).
  // Returns the user's id.
  std::int32_t AddUser(const std::string& name, std::uint32_t id,
                       const RecordFileFixture* fixture);
  // The user's record.dat path.
  std::string DataPath(std::int32_t id) const;
  // Reads a whole file.
  static std::vector<std::uint8_t> ReadFile(const std::string& path);

  // A fresh application on the sandbox, with its message boxes answered by `answer_`
  // and recorded in `messages_`, and its password prompts answered from `typed_`
  // (Cancel once that is used up) and recorded in `prompts_`.
  std::unique_ptr<CDesktopApp> MakeApp();
  // MakeApp, then Start (lock, frame, socket); fails the test when that fails.
  std::unique_ptr<CDesktopApp> StartApp();
  // StartApp, then opens `userId` with `password`; fails the test if it does not open.
  std::unique_ptr<CDesktopApp> StartLoggedIn(std::int32_t userId, const char* password);

  // Processes queued events until `done` holds or `ms` milliseconds have passed.
  static bool SpinUntil(const std::function<bool()>& done, int ms = 5000);
  // Processes the events queued so far (posted messages among them).
  static void DrainEvents();

  tallimor::testing::TempDir temp_{"gui"};  // removed after the test
  std::string dir_;      // the sandbox
  std::string root_;     // HotSync root, ending in '/'
  std::string profile_;  // Tallimor.ini
  std::vector<ShownMessage> messages_;  // boxes shown, oldest first
  int answer_ = kIdOk;                  // what every box answers
  std::deque<std::optional<QString>> typed_;  // what the next prompts answer; none: Cancel
  std::vector<ShownPrompt> prompts_;          // prompts shown, oldest first
};

}  // namespace tallimor::test
