// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Makes a chosen Sync Manager call fail, for the reliability tests of the conduit,
// and counts the calls so that a test can first count the calls of a whole run and
// then fail each of them in turn. Set from code, or from the environment variable
//     TALLIMOR_SYNC_FAULT="call=N,kind=comm"     (or kind=storage)
// when a handheld is attached. Calls are numbered from 1 after each attach.
//   comm:    call N and every later call fail with kSyncErrCommLost (0x2001): the
//            link is gone, so nothing after it reaches the handheld.
//   storage: call N alone fails with kSyncErrStorage (0x400A) and does nothing;
//            later calls run normally.
#pragma once

#include <cstdint>
#include <string>

#include "hotsync/handheld/SyncResults.h"

namespace tallimor {

enum class SyncFaultKind { kNone, kCommunications, kStorage };

class FaultInjector {
 public:
  static constexpr const char* kEnvironmentVariable = "TALLIMOR_SYNC_FAULT";

  FaultInjector() = default;

  // Parses "call=N,kind=comm|storage" (also "kind=communications"; fields in any
  // order, spaces allowed). An empty text means no fault. kSyncErrBadArgument with
  // *error for anything else.
  static Result Parse(const std::string& text, std::uint32_t* call, SyncFaultKind* kind, std::string* error);

  // Fails call number `call` (1-based) with `kind`; kNone or call 0 disarms.
  void Arm(std::uint32_t call, SyncFaultKind kind);
  void Disarm() { Arm(0, SyncFaultKind::kNone); }
  // Starts counting from 0 again; the armed fault stays armed, the link comes back.
  void ResetCount();

  // Counts one call. Returns kSyncErrNone when the call may run, else its error.
  Result OnCall();

  std::uint32_t calls() const { return calls_; }

 private:
  std::uint32_t calls_ = 0;
  std::uint32_t faultCall_ = 0;
  SyncFaultKind kind_ = SyncFaultKind::kNone;
  bool linkLost_ = false;
};

}  // namespace tallimor
