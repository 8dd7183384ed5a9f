// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fault injection into Sync Manager calls: parsing of the environment setting and
// the per-call decision.
#include "hotsync/handheld/FaultInjector.h"

#include <sstream>

namespace tallimor {
namespace {

std::string Trim(const std::string& s) {
  const auto begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return s.substr(begin, s.find_last_not_of(" \t") - begin + 1);
}

}  // namespace

Result FaultInjector::Parse(const std::string& text, std::uint32_t* call, SyncFaultKind* kind, std::string* error) {
  std::uint32_t parsedCall = 0;
  SyncFaultKind parsedKind = SyncFaultKind::kNone;
  const std::string usage = " (expected \"call=N,kind=comm\" or \"call=N,kind=storage\")";
  if (!Trim(text).empty()) {
    std::istringstream fields(text);
    std::string field;
    while (std::getline(fields, field, ',')) {
      const auto equals = field.find('=');
      const std::string key = Trim(field.substr(0, equals));
      const std::string value = equals == std::string::npos ? "" : Trim(field.substr(equals + 1));
      if (key == "call") {
        if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(value) == 0) {
          if (error) *error = "call must be a number from 1 up" + usage;
          return kSyncErrBadArgument;
        }
        parsedCall = static_cast<std::uint32_t>(std::stoul(value));
      } else if (key == "kind") {
        if (value == "comm" || value == "communications") {
          parsedKind = SyncFaultKind::kCommunications;
        } else if (value == "storage") {
          parsedKind = SyncFaultKind::kStorage;
        } else {
          if (error) *error = "unknown fault kind \"" + value + "\"" + usage;
          return kSyncErrBadArgument;
        }
      } else {
        if (error) *error = "unknown field \"" + Trim(field) + "\"" + usage;
        return kSyncErrBadArgument;
      }
    }
    if (parsedCall == 0 || parsedKind == SyncFaultKind::kNone) {
      if (error) *error = "both call and kind are needed" + usage;
      return kSyncErrBadArgument;
    }
  }
  if (call) *call = parsedCall;
  if (kind) *kind = parsedKind;
  return kSyncErrNone;
}

void FaultInjector::Arm(std::uint32_t call, SyncFaultKind kind) {
  faultCall_ = kind == SyncFaultKind::kNone ? 0 : call;
  kind_ = faultCall_ == 0 ? SyncFaultKind::kNone : kind;
  linkLost_ = false;
}

void FaultInjector::ResetCount() {
  calls_ = 0;
  linkLost_ = false;
}

Result FaultInjector::OnCall() {
  ++calls_;
  if (linkLost_) return kSyncErrCommLost;
  if (faultCall_ == 0 || calls_ != faultCall_) return kSyncErrNone;
  if (kind_ == SyncFaultKind::kCommunications) {
    linkLost_ = true;
    return kSyncErrCommLost;
  }
  return kSyncErrStorage;
}

}  // namespace tallimor
