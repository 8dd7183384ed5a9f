// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// libTallimorN.so as the HotSync manager sees it: loaded with dlopen, its two exports looked
// up by their plain names, and HS_Notify driven against a stand-in desktop program that
// records what it is sent and answers as it is told.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "notifier/HotSyncNotification.h"
#include "notifier/WindowMessageResult.h"
#include "notifier/tests/TestSupport.h"

namespace tallimor {
namespace {

using HsNotifyFn = std::int32_t (*)(std::int32_t, std::uint32_t);
using GetNotifierVersionFn = std::int32_t (*)();

// A message as the test expects the desktop program to receive it.
struct Sent {
  std::uint64_t code;
  std::int64_t lParam;
  bool operator==(const Sent&) const = default;
};

void PrintTo(const Sent& sent, std::ostream* out) {
  *out << "{code " << sent.code << ", lParam " << sent.lParam << "}";
}

const Sent kProbeSent{kHotSyncProbe, 0};

// Answers per code; a code missing from the map is dropped unanswered.
testing::FakeDesktop::Handler AnswerWith(std::map<std::uint64_t, std::int64_t> answers) {
  return [answers](const WindowMessage& message) -> std::optional<std::int64_t> {
    const auto found = answers.find(message.wParam);
    if (found == answers.end()) return std::nullopt;
    return found->second;
  };
}

class NotifierLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = dlopen(TALLIMOR_NOTIFIER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    notify_ = reinterpret_cast<HsNotifyFn>(dlsym(library_, "HS_Notify"));
    version_ = reinterpret_cast<GetNotifierVersionFn>(dlsym(library_, "GetNotifierVersion"));
    ASSERT_NE(notify_, nullptr);
    ASSERT_NE(version_, nullptr);
  }
  void TearDown() override {
    if (library_ != nullptr) dlclose(library_);
  }

  // Every message the desktop took, checked to be message 5120.
  static std::vector<Sent> SentTo(const testing::FakeDesktop& desktop) {
    std::vector<Sent> sent;
    for (const WindowMessage& message : desktop.received()) {
      EXPECT_EQ(message.message, kHotSyncNotifyMessage);
      sent.push_back({message.wParam, message.lParam});
    }
    return sent;
  }

  testing::ScopedRuntimeDir runtime_;
  void* library_ = nullptr;
  HsNotifyFn notify_ = nullptr;
  GetNotifierVersionFn version_ = nullptr;
};

// A desktop program that answers every code as the real one does when idle.
const std::map<std::uint64_t, std::int64_t> kIdleDesktop = {
    {kHotSyncProbe, kHotSyncProbeAnswer}, {kHotSyncStartQuery, 0}, {kHotSyncStarted, 0},
    {kHotSyncEndedNormally, 0},           {kHotSyncEndedAbnormally, 0}, {kHotSyncEvent4, 0},
};

std::map<std::uint64_t, std::int64_t> IdleExcept(std::uint64_t code, std::int64_t answer) {
  std::map<std::uint64_t, std::int64_t> answers = kIdleDesktop;
  answers[code] = answer;
  return answers;
}

TEST_F(NotifierLibrary, VersionIsZero) { EXPECT_EQ(version_(), 0); }

TEST_F(NotifierLibrary, DesktopNotRunningLetsEveryEventProceed) {
  for (std::int32_t event : {0, 1, 2, 3, 4, 5, 9, -1, INT32_MAX}) {
    EXPECT_EQ(notify_(event, 0x1234), 1) << event;
  }
  // Nor does a socket file left by a desktop program that crashed change that.
  ASSERT_TRUE(testing::LeaveStaleSocket(runtime_.Entry(kDesktopWindowClass)));
  for (std::int32_t event : {0, 1, 2, 3, 4}) EXPECT_EQ(notify_(event, 0), 1) << event;
}

TEST_F(NotifierLibrary, WrongProbeAnswerEndsTheCallAfterTheProbe) {
  for (std::int64_t probeAnswer : {0, 1, 5121, -5120}) {
    testing::FakeDesktop desktop(kDesktopWindowClass,
                                 AnswerWith(IdleExcept(kHotSyncProbe, probeAnswer)));
    ASSERT_EQ(desktop.listenResult(), kOk);
    for (std::int32_t event : {0, 1, 2, 3, 4}) EXPECT_EQ(notify_(event, 7), 1) << event;
    EXPECT_EQ(SentTo(desktop), std::vector<Sent>(5, kProbeSent)) << probeAnswer;
  }
}

TEST_F(NotifierLibrary, UnansweredProbeLetsTheEventProceed) {
  testing::FakeDesktop desktop(kDesktopWindowClass, AnswerWith({}));
  EXPECT_EQ(notify_(1, 7), 1);
  EXPECT_EQ(SentTo(desktop), std::vector<Sent>{kProbeSent});
}

TEST_F(NotifierLibrary, StartQueryObjectsWhenTheDesktopRefuses) {
  const std::vector<std::pair<std::int64_t, std::int32_t>> answerToResult = {
      {0, 1}, {1, 0}, {2, 0}, {-1, 0}};
  for (const auto& [answer, expected] : answerToResult) {
    testing::FakeDesktop desktop(kDesktopWindowClass,
                                 AnswerWith(IdleExcept(kHotSyncStartQuery, answer)));
    EXPECT_EQ(notify_(0, 0xdead), expected) << answer;
    // The start query carries 0, whatever value came with the event.
    EXPECT_EQ(SentTo(desktop), (std::vector<Sent>{kProbeSent, {kHotSyncStartQuery, 0}}));
  }
}

TEST_F(NotifierLibrary, StartObjectsWhenTheDesktopAnswersNonZero) {
  const std::vector<std::pair<std::int64_t, std::int32_t>> answerToResult = {
      {0, 1}, {1, 0}, {-1, 0}, {5120, 0}};
  for (const auto& [answer, expected] : answerToResult) {
    testing::FakeDesktop desktop(kDesktopWindowClass,
                                 AnswerWith(IdleExcept(kHotSyncStarted, answer)));
    EXPECT_EQ(notify_(1, 0xffffffffu), expected) << answer;
    // The value travels unchanged, as an unsigned 32-bit number.
    EXPECT_EQ(SentTo(desktop), (std::vector<Sent>{kProbeSent, {kHotSyncStarted, 0xffffffffLL}}));
  }
}

TEST_F(NotifierLibrary, EndEventsAndEvent4ProceedWhateverTheAnswer) {
  const std::vector<std::pair<std::int32_t, std::uint64_t>> eventToCode = {
      {2, kHotSyncEndedNormally}, {3, kHotSyncEndedAbnormally}, {4, kHotSyncEvent4}};
  for (const auto& [event, code] : eventToCode) {
    testing::FakeDesktop desktop(kDesktopWindowClass, AnswerWith(IdleExcept(code, 1)));
    EXPECT_EQ(notify_(event, 31), 1) << event;
    EXPECT_EQ(SentTo(desktop), (std::vector<Sent>{kProbeSent, {code, 31}})) << event;
  }
}

TEST_F(NotifierLibrary, OtherEventsSendOnlyTheProbe) {
  testing::FakeDesktop desktop(kDesktopWindowClass, AnswerWith(kIdleDesktop));
  for (std::int32_t event : {5, 6, 7, 9, -1, INT32_MIN}) EXPECT_EQ(notify_(event, 3), 1) << event;
  EXPECT_EQ(SentTo(desktop), std::vector<Sent>(6, kProbeSent));
}

// A desktop program that takes an event and never answers (it crashed while handling it,
// say) may have left its file half written: the start query and the start object, the
// later events proceed.
TEST_F(NotifierLibrary, EventLeftUnansweredObjectsOnlyWhereAnObjectionCounts) {
  const std::vector<std::pair<std::int32_t, std::int32_t>> eventToResult = {
      {0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}};
  for (const auto& [event, expected] : eventToResult) {
    testing::FakeDesktop desktop(kDesktopWindowClass,
                                 AnswerWith({{kHotSyncProbe, kHotSyncProbeAnswer}}));
    EXPECT_EQ(notify_(event, 0), expected) << event;
    EXPECT_EQ(SentTo(desktop).size(), 2u);
  }
}

TEST_F(NotifierLibrary, WholeHotSyncWithTheDesktopStartingBetweenEvents) {
  EXPECT_EQ(notify_(0, 0), 1);  // not running yet
  testing::FakeDesktop desktop(kDesktopWindowClass, AnswerWith(kIdleDesktop));
  ASSERT_EQ(desktop.listenResult(), kOk);
  EXPECT_EQ(notify_(1, 11), 1);
  EXPECT_EQ(notify_(2, 12), 1);
  EXPECT_EQ(SentTo(desktop), (std::vector<Sent>{kProbeSent,
                                                {kHotSyncStarted, 11},
                                                kProbeSent,
                                                {kHotSyncEndedNormally, 12}}));
}

TEST_F(NotifierLibrary, GarbageFromAnotherClientDoesNotStopTheDesktop) {
  testing::FakeDesktop desktop(kDesktopWindowClass,
                               AnswerWith(IdleExcept(kHotSyncStartQuery, 1)));
  const int fd = testing::ConnectRaw(runtime_.Entry(kDesktopWindowClass));
  ASSERT_GE(fd, 0);
  const char garbage[40] = "not a window message at all";
  ASSERT_EQ(write(fd, garbage, sizeof garbage), static_cast<ssize_t>(sizeof garbage));
  close(fd);
  // Clients are taken in the order they came, so the garbage has been dealt with by the
  // time the notifier's messages have been answered.
  EXPECT_EQ(notify_(0, 0), 0);
  EXPECT_EQ(desktop.dropped(), std::vector<Result>{kWmMalformed});
  EXPECT_EQ(SentTo(desktop), (std::vector<Sent>{kProbeSent, {kHotSyncStartQuery, 0}}));
}

}  // namespace
}  // namespace tallimor
