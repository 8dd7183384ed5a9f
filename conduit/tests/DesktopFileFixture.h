// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Test fixture for the conduit's desktop-file managers: a temporary user directory
// with a HotSync log run open in it, the sync log that writes to that run, and
// helpers to read back the run's entries and the files left in the directory.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "conduit/SyncLog.h"
#include "hotsync/log/HotSyncLog.h"
#include "store/CPRecord.h"
#include "store/tests/RecordFileBytes.h"
#include "tests/support/TempDir.h"

namespace tallimor::testing {

using LogLine = std::pair<std::int32_t, std::string>;  // activity, text

class DesktopFileFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    hotsyncLog_ = std::make_unique<HotSyncLog>(dir_);
    ASSERT_EQ(hotsyncLog_->BeginRun(), kOk);
  }
  void TearDown() override {
    hotsyncLog_.reset();
  }

  std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }

  // The entries the sync log added to this run.
  std::vector<LogLine> LogLines() const {
    std::vector<LogEntry> entries;
    EXPECT_EQ(hotsyncLog_->RunEntries(&entries), kOk);
    std::vector<LogLine> lines;
    for (const LogEntry& e : entries) lines.emplace_back(e.activity, e.text);
    return lines;
  }

  // The names in the directory besides the HotSync log, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      if (e.path().filename() != HotSyncLog::kFileName) names.push_back(e.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  tallimor::testing::TempDir temp_{"desktop"};  // removed after the test
  std::string dir_;
  std::unique_ptr<HotSyncLog> hotsyncLog_;
  SyncLog log_{"Generic Conduit"};
};

// A record file: the default header fields, the given blocks (empty = none) and
// record images.
inline Bytes FileBytes(const std::vector<Bytes>& records, const Bytes& appInfo = {},
                       const Bytes& sortInfo = {}, const HeaderFields& fields = HeaderFields{}) {
  Bytes file = Header(fields, static_cast<std::int32_t>(records.size()),
                      static_cast<std::uint32_t>(appInfo.size()), static_cast<std::uint32_t>(sortInfo.size()));
  Append(file, appInfo);
  Append(file, sortInfo);
  for (const Bytes& r : records) Append(file, r);
  return file;
}

inline CPRecord MakeRecord(std::uint32_t id, std::int32_t category, const std::string& data,
                           std::uint32_t status = 0) {
  CPRecord record;
  record.SetId(id);
  record.SetCategory(category);
  record.SetData(static_cast<std::uint32_t>(data.size()), reinterpret_cast<const std::uint8_t*>(data.data()));
  record.SetStatus(status);
  return record;
}

}  // namespace tallimor::testing
