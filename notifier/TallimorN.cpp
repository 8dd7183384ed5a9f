// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The HotSync notifier libTallimorN.so: the HotSync manager calls HS_Notify when a HotSync
// may start, has started and has ended, and the notifier passes each event on to a running
// desktop program as message 5120, waiting until the program has handled it. No state is
// kept between calls; the program is looked for anew every time.
#include <cstdint>

#include "notifier/HotSyncNotification.h"
#include "notifier/WindowMessageClient.h"
#include "notifier/WindowMessageResult.h"

#ifndef TALLIMOR_VERSION_TEXT
#error "TALLIMOR_VERSION_TEXT must come from the build"
#endif

namespace tallimor {
namespace {

// The library's description, readable with `strings`, in place of a version resource.
[[gnu::used]] const char kVersionInfo[] =
    "FileDescription=Tallimor Desktop Notifier Module;InternalName=TallimorNotify;FileVersion="
    TALLIMOR_VERSION_TEXT;

// HS_Notify's two answers to the HotSync manager.
constexpr std::int32_t kProceed = 1;
constexpr std::int32_t kObject = 0;

// A running program answers the probe at once; one that has not within this time is
// treated as not answering, like any other window that answers the probe wrongly.
constexpr int kProbeTimeoutMs = 10000;
// Handling an event may mean writing and reloading the user's file.
constexpr int kEventTimeoutMs = 60000;

// One row per event type, in event order: the code sent, whether lParam carries the
// manager's value (else 0), and whether the program's answer may object (non-zero does).
struct EventRow {
  std::int32_t eventType;
  std::uint64_t code;
  bool carriesValue;
  bool mayObject;
};

constexpr EventRow kEvents[] = {
    {0, kHotSyncStartQuery, false, true},
    {1, kHotSyncStarted, true, true},
    {2, kHotSyncEndedNormally, true, false},
    {3, kHotSyncEndedAbnormally, true, false},
    {4, kHotSyncEvent4, true, false},
};

std::int32_t Notify(std::int32_t eventType, std::uint32_t value) {
  std::int64_t answer = 0;
  if (SendWindowMessage(kDesktopWindowClass, kHotSyncNotifyMessage, kHotSyncProbe, 0, &answer,
                        kProbeTimeoutMs) != kOk ||
      answer != kHotSyncProbeAnswer) {
    return kProceed;
  }
  for (const EventRow& row : kEvents) {
    if (row.eventType != eventType) continue;
    const std::int64_t lParam = row.carriesValue ? static_cast<std::int64_t>(value) : 0;
    const Result sent = SendWindowMessage(kDesktopWindowClass, kHotSyncNotifyMessage, row.code,
                                          lParam, &answer, kEventTimeoutMs);
    if (!row.mayObject || sent == kWmNoWindow) return kProceed;  // gone: it holds nothing now
    // Without an answer the program may still be writing its file, and the conduit must
    // not read it half written: an exchange that broke off counts as an objection.
    if (sent != kOk) return kObject;
    return answer == 0 ? kProceed : kObject;
  }
  return kProceed;
}

}  // namespace
}  // namespace tallimor

extern "C" {

__attribute__((visibility("default"))) std::int32_t HS_Notify(std::int32_t eventType,
                                                               std::uint32_t value) {
  return tallimor::Notify(eventType, value);
}

__attribute__((visibility("default"))) std::int32_t GetNotifierVersion() { return 0; }

}  // extern "C"
