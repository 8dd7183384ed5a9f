// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the HotSync log reader with arbitrary file contents, and checks that an
// entry written for any parsed text reads back as that text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "hotsync/log/LogFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (const tallimor::LogRun& run : tallimor::LogFormat::Parse(input)) {
    for (const tallimor::LogEntry& entry : run.entries) {
      if (entry.text.size() > tallimor::LogFormat::kMaxText) continue;
      tallimor::LogEntry again;
      std::string line = tallimor::LogFormat::EntryLine(entry.time, entry.activity, entry.text);
      line.pop_back();
      if (!tallimor::LogFormat::ParseEntry(line, &again) || again.text != entry.text ||
          again.activity != entry.activity) {
        std::abort();
      }
    }
  }
  return 0;
}
