// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The six exports of libTallimorC.so, the functions a HotSync manager looks up by
// name: one synchronization (OpenConduit), the conduit's name, version and
// information, and the action dialog in its two configuration calls. Each checks the
// manager's records in a fixed order and answers with the manager's error numbers; no
// C++ exception leaves the library.
#include <cstring>
#include <memory>
#include <new>

#include "conduit/CActionDlg.h"
#include "hotsync/plugin/ConduitInterface.h"
#include "conduit/ConduitStrings.h"
#include "hotsync/plugin/SyncProperties.h"
#include "conduit/Synchronizer.h"
#include "store/CPDatabase.h"

namespace tallimor {
namespace {

// The synchronizer's capability flags: categories and application information.
constexpr std::uint32_t kConduitCapabilities = kCapCategories | kCapAppInfo;

// The 32-bit word at `offset` of a record the manager passed (records come as plain
// pointers and need not be aligned).
std::uint32_t ReadWord(const void* record, std::size_t offset) {
  std::uint32_t value = 0;
  std::memcpy(&value, static_cast<const unsigned char*>(record) + offset, sizeof value);
  return value;
}

void WriteWord(void* output, std::uint32_t value) { std::memcpy(output, &value, sizeof value); }

// LoadStringA's capacity is an int; a larger buffer is simply not filled beyond that.
int ClampCapacity(std::uint32_t capacity) {
  return capacity > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(capacity);
}

std::int32_t Synchronize(SyncPropertiesRecord& properties) {
  std::unique_ptr<Synchronizer> synchronizer(
      new (std::nothrow) Synchronizer(properties, kConduitCapabilities));
  if (synchronizer == nullptr) return -1;
  return synchronizer->perform();
}

}  // namespace
}  // namespace tallimor

using tallimor::ConduitConfigRecord;
using tallimor::ConduitProgressFn;
using tallimor::ConduitRequestRecord;
using tallimor::SyncPreferenceRecord;
using tallimor::SyncPropertiesRecord;

#define TALLIMOR_EXPORT extern "C" __attribute__((visibility("default")))

// Runs one synchronization of the databases the properties name. The manager's
// progress callback must be given, although the conduit reports through the HotSync
// log rather than through it.
TALLIMOR_EXPORT std::int32_t OpenConduit(ConduitProgressFn progress,
                                         SyncPropertiesRecord* properties) {
  if (progress == nullptr || properties == nullptr) return -1;
  try {
    return tallimor::Synchronize(*properties);
  } catch (...) {
    return -1;
  }
}

// The conduit's name into buffer; 0 when anything was loaded, else -1.
TALLIMOR_EXPORT std::int32_t GetConduitName(char* buffer, std::uint16_t capacity) {
  return tallimor::LoadConduitString(tallimor::kStrConduitName, buffer, capacity) > 0 ? 0 : -1;
}

TALLIMOR_EXPORT std::int32_t GetConduitVersion() { return tallimor::kConduitVersion; }

// Answers the manager's questions: the name (info type 0), the default action (1) and
// the GUI framework version (2). The size is never written back.
TALLIMOR_EXPORT std::int32_t GetConduitInfo(std::int32_t infoType, void* input, void* output,
                                            std::uint32_t* size) {
  using namespace tallimor;
  if (output == nullptr) return kCondErrNoOutput;
  if (size == nullptr) return kCondErrNoInfoSize;
  switch (infoType) {
    case kConduitInfoName:
      if (input == nullptr) return kCondErrNoInput;
      if (ReadWord(input, offsetof(ConduitRequestRecord, version)) != kConduitRecordVersion ||
          ReadWord(input, offsetof(ConduitRequestRecord, size)) != kConduitRequestRecordSize) {
        return kCondErrBadInput;
      }
      if (LoadConduitString(kStrConduitName, static_cast<char*>(output), ClampCapacity(*size)) == 0) {
        return kCondErrNoName;
      }
      return kOk;
    case kConduitInfoDefaultAction:
      if (*size != sizeof(std::uint32_t)) return kCondErrInfoSize;
      WriteWord(output, kConduitDefaultAction);
      return kOk;
    case kConduitInfoFrameworkVersion:
      if (*size != sizeof(std::uint32_t)) return kCondErrInfoSize;
      WriteWord(output, kConduitFrameworkVersion);
      return kOk;
    default:
      return kCondErrUnknownInfoType;
  }
}

// The manager's configuration call: checks the record, then lets the user choose the
// action in the dialog, which writes the chosen sync type and preference into the
// record on OK. 0 whatever the dialog's outcome.
TALLIMOR_EXPORT std::int32_t CfgConduit(std::int32_t configType, void* record,
                                        std::uint32_t* size) {
  using namespace tallimor;
  if (record == nullptr) return kCondErrNoInput;
  if (size == nullptr) return kCondErrNoConfigSize;
  if (*size != kConduitConfigRecordSize) return kCondErrConfigSize;
  if (configType != kConduitConfigureAction) return kCondErrConfigType;
  auto* config = static_cast<ConduitConfigRecord*>(record);
  if (config->version != kConduitRecordVersion) return kCondErrConfigVersion;

  ConduitRequestRecord request{};
  request.version = kConduitRecordVersion;
  request.size = kConduitRequestRecordSize;
  request.creator = config->creator;
  request.userId = config->userId;
  std::memcpy(request.userName, config->userName, sizeof request.userName - 1);
  char name[256];
  std::uint32_t nameSize = sizeof name;
  const std::int32_t named = GetConduitInfo(kConduitInfoName, &request, name, &nameSize);
  if (named != kOk) return named;

  try {
    CActionDlg::Run(config, CActionDlg::kDialogCfgConduit);
  } catch (...) {
    // A dialog that cannot be shown leaves the record as it was.
  }
  return kOk;
}

// The older configuration call: shows the dialog on the preference's sync type and, on
// OK, writes the chosen sync type and preference back; -1 (preference untouched) on
// Cancel or when no dialog could be shown.
TALLIMOR_EXPORT std::int32_t ConfigureConduit(SyncPreferenceRecord* preference) {
  using namespace tallimor;
  if (preference == nullptr) return -1;
  ConduitConfigRecord config{};
  config.version = kConduitRecordVersion;
  config.size = kConduitConfigRecordSize;
  config.defaultSyncType = preference->syncType;
  config.nextSyncType = preference->syncType;
  config.chosenSyncType = preference->syncType;
  config.preference = kSyncPreferenceNextOnly;
  int ended = CActionDlg::kNotShown;
  try {
    ended = CActionDlg::Run(&config, CActionDlg::kDialogConfigureConduit);
  } catch (...) {
    ended = CActionDlg::kNotShown;
  }
  if (ended != CActionDlg::kEndedOk) return -1;
  preference->syncType = config.chosenSyncType;
  preference->preference = config.preference;
  return kOk;
}
