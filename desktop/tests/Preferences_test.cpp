// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The preferences in Tallimor.ini: defaults when missing, a round trip through the
// file, delays brought inside their bounds, and the rest of the profile kept.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "desktop/CProfile.h"
#include "desktop/Preferences.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

class PreferencesInProfile : public ::testing::Test {
 protected:
  std::string Read() const { return testing::ReadWholeFile(path_); }
  void Write(const std::string& text) const { testing::WriteWholeFile(path_, text); }

  testing::TempDir temp_{"preferences"};  // removed after the test
  const std::string path_ = temp_.Join("Tallimor.ini");
};

TEST_F(PreferencesInProfile, MissingFileGivesTheDefaults) {
  CProfile profile(path_);
  const Preferences read = Preferences::Load(profile);
  EXPECT_FALSE(read.clearClipboard);
  EXPECT_EQ(read.clearSeconds, 10);
  EXPECT_TRUE(read.lockOnScreenLock);
  EXPECT_FALSE(read.idleLock);
  EXPECT_EQ(read.idleMinutes, 10);
}

TEST_F(PreferencesInProfile, RoundTripKeepsEveryValueAndTheOtherSections) {
  Write("[Settings]\nUserID=7\n");
  CProfile profile(path_);
  Preferences chosen;
  chosen.clearClipboard = true;
  chosen.clearSeconds = 25;
  chosen.lockOnScreenLock = false;
  chosen.idleLock = true;
  chosen.idleMinutes = 3;
  ASSERT_EQ(chosen.Save(profile), kOk);
  EXPECT_EQ(Preferences::Load(CProfile(path_)), chosen);
  EXPECT_EQ(Read(),
            "[Settings]\nUserID=7\n\n"
            "[Preferences]\nClearClipboard=1\nClearClipboardSeconds=25\nLockOnScreenLock=0\n"
            "IdleLock=1\nIdleLockMinutes=3\n");
  EXPECT_EQ(profile.GetInt("Settings", "UserID", -1), 7);
}

TEST_F(PreferencesInProfile, DelaysOutsideTheirBoundsAreBroughtIn) {
  Write("[Preferences]\nClearClipboard=yes\nClearClipboardSeconds=0\nIdleLock=2\n"
        "IdleLockMinutes=99999999\nLockOnScreenLock=0\n");
  const Preferences read = Preferences::Load(CProfile(path_));
  EXPECT_FALSE(read.clearClipboard);  // "yes" reads as 0, the way every number is read
  EXPECT_EQ(read.clearSeconds, Preferences::kMinClearSeconds);
  EXPECT_TRUE(read.idleLock);
  EXPECT_EQ(read.idleMinutes, Preferences::kMaxIdleMinutes);
  EXPECT_FALSE(read.lockOnScreenLock);

  Preferences negative;
  negative.clearSeconds = -5;
  negative.idleMinutes = 0;
  EXPECT_EQ(negative.Bounded().clearSeconds, Preferences::kMinClearSeconds);
  EXPECT_EQ(negative.Bounded().idleMinutes, Preferences::kMinIdleMinutes);
}

TEST_F(PreferencesInProfile, AProfileThatCannotBeWrittenIsReported) {
  testing::WriteWholeFile(temp_.Join("plain-file"), "not a directory");
  CProfile profile(temp_.Join("plain-file/Tallimor.ini"));
  Preferences chosen;
  EXPECT_NE(chosen.Save(profile), kOk);
}

}  // namespace
}  // namespace tallimor
