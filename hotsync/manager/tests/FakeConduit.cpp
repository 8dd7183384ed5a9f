// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in conduit for the HotSync program's tests, loaded in place of
// libTallimorC.so: it appends the sync properties it is handed, one line per
// OpenConduit, to the file that TALLIMOR_FAKE_CONDUIT_LOG names, and then ends as
// TALLIMOR_FAKE_CONDUIT_MODE says: "fail" returns 4354, "hang" waits until the process
// is killed, anything else returns 0. It shows no dialog: CfgConduit and
// ConfigureConduit refuse with their own error numbers.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hotsync/plugin/ConduitInterface.h"
#include "hotsync/plugin/SyncProperties.h"

namespace {

void Record(const tallimor::SyncPropertiesRecord& p) {
  const char* path = std::getenv("TALLIMOR_FAKE_CONDUIT_LOG");
  if (path == nullptr) return;
  std::FILE* file = std::fopen(path, "a");
  if (file == nullptr) return;
  std::fprintf(file,
               "syncType=%d firstSync=%d directory=%s file=%s count=%d name=%s creator=%08x "
               "type=%08x descriptors=%s\n",
               p.syncType, p.firstSync, p.localDirectory, p.localFileName, p.remoteCount,
               p.remoteCount > 0 && p.remoteNames[0] != nullptr ? p.remoteNames[0] : "-",
               static_cast<unsigned>(p.creator), static_cast<unsigned>(p.type),
               p.remoteDescriptors == nullptr ? "none" : "given");
  std::fclose(file);
}

}  // namespace

extern "C" {

std::int32_t OpenConduit(tallimor::ConduitProgressFn progress,
                         tallimor::SyncPropertiesRecord* properties) {
  if (progress == nullptr || properties == nullptr) return -1;
  Record(*properties);
  progress("fake conduit running");
  const char* mode = std::getenv("TALLIMOR_FAKE_CONDUIT_MODE");
  if (mode != nullptr && std::strcmp(mode, "fail") == 0) return 4354;
  if (mode != nullptr && std::strcmp(mode, "hang") == 0) {
    for (;;) pause();
  }
  return 0;
}

std::int32_t GetConduitName(char* buffer, std::uint16_t capacity) {
  if (buffer == nullptr || capacity < 13) return -1;
  std::memcpy(buffer, "Fake Conduit", 13);
  return 0;
}

std::int32_t GetConduitVersion() { return 0x0102; }

std::int32_t GetConduitInfo(std::int32_t, void*, void*, std::uint32_t*) {
  return tallimor::kCondErrUnknownInfoType;
}

std::int32_t ConfigureConduit(tallimor::SyncPreferenceRecord*) { return -1; }

std::int32_t CfgConduit(std::int32_t, void*, std::uint32_t*) { return tallimor::kCondErrConfigType; }

}  // extern "C"
