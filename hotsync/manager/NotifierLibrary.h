// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The HotSync notifier as the HotSync program calls it: HS_Notify before a HotSync may
// start, when it starts and when it ends. Without a notifier every event is answered
// as if nobody objected.
#pragma once

#include <cstdint>
#include <string>

#include "hotsync/manager/SharedLibrary.h"

namespace tallimor {

class NotifierLibrary {
 public:
  // The library's file name and the variable that names it outright ("" = none).
  static constexpr const char* kFileName = "libTallimorN.so";
  static constexpr const char* kVariable = "TALLIMOR_NOTIFIER";

  // The events, as HS_Notify takes them.
  static constexpr std::int32_t kEventMayStart = 0;
  static constexpr std::int32_t kEventStarted = 1;
  static constexpr std::int32_t kEventEnded = 2;
  static constexpr std::int32_t kEventAborted = 3;

  NotifierLibrary() = default;
  NotifierLibrary(const NotifierLibrary&) = delete;
  NotifierLibrary& operator=(const NotifierLibrary&) = delete;

  // Looks for the notifier and loads it. A notifier that is not installed is no
  // error (present() stays false). False with *error when a file was found but is no
  // usable notifier; the HotSync then goes on without it.
  bool Load(std::string* error);
  bool present() const { return notify_ != nullptr; }
  const std::string& path() const { return library_.path(); }

  // HS_Notify(event, value): 0 when the notifier objects, else non-zero. 1 without a
  // notifier.
  std::int32_t Notify(std::int32_t event, std::uint32_t value) const;

 private:
  using NotifyFn = std::int32_t (*)(std::int32_t, std::uint32_t);

  SharedLibrary library_;
  NotifyFn notify_ = nullptr;  // HS_Notify, when loaded
};

}  // namespace tallimor
