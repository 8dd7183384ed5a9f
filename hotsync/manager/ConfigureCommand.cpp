// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// configure: the conduit's HotSync action of a user, chosen in the conduit's dialog or
// given with --action. Either way the choice is kept through ConduitSettings, as the
// default or for the next HotSync only.
#include "hotsync/plugin/ConduitInterface.h"
#include "hotsync/manager/ConduitLibrary.h"
#include "hotsync/manager/ConduitSettings.h"
#include "hotsync/manager/DisplayProbe.h"
#include "hotsync/manager/ExitStatus.h"
#include "hotsync/manager/HotSyncCommand.h"
#include "hotsync/manager/HotSyncContext.h"
#include "hotsync/manager/SyncAction.h"
#include "hotsync/manager/SyncRunProperties.h"
#include "hotsync/manager/TerminalText.h"
#include "hotsync/users/UsersResults.h"

namespace tallimor {
namespace {

// Keeps the chosen action and says what it now is.
int Keep(HotSyncContext& context, ConduitSettings& settings, const HotSyncUser& user, std::int32_t syncType,
         std::int32_t preference) {
  if (const Result r = settings.Choose(syncType, preference); r != kOk) {
    return context.Fail("cannot keep the chosen HotSync action: " + std::string(UsersResultMeaning(r)));
  }
  context.out() << "HotSync action for \"" << TerminalText(user.name) << "\": " << DescribeSyncType(syncType)
                << (preference == kSyncPreferenceDefault ? " (the default from now on)" : " (the next HotSync only)")
                << "\n";
  return kHotSyncExitOk;
}

// The conduit's dialog, started with the user's default and next actions.
int ChooseInDialog(HotSyncContext& context, UserData& users, ConduitSettings& settings, const HotSyncUser& user) {
  std::int32_t defaultType = 0;
  std::int32_t nextType = ConduitSettings::kNoNext;
  if (const Result r = settings.Read(&defaultType, &nextType); r != kOk) {
    return context.Fail("cannot read the conduit's HotSync action: " + std::string(UsersResultMeaning(r)));
  }
  ConduitLibrary conduit;
  std::string error;
  if (!conduit.Load(&error)) return context.Fail("cannot load the conduit: " + error);

  ConduitConfigRecord record{};
  record.version = kConduitRecordVersion;
  record.size = kConduitConfigRecordSize;
  record.creator = SyncRunProperties::kCreator;
  record.userId = user.id;
  user.name.copy(record.userName, sizeof record.userName - 1);
  const std::string path = users.root() + user.directory;
  if (path.size() < sizeof record.pathName) path.copy(record.pathName, sizeof record.pathName - 1);
  record.defaultSyncType = defaultType;
  record.nextSyncType = nextType == ConduitSettings::kNoNext ? defaultType : nextType;
  // The dialog writes these two on OK only; anything else means it was cancelled.
  record.chosenSyncType = -1;
  record.preference = 0;
  if (const std::int32_t r = conduit.Configure(&record); r != kOk) {
    return context.Fail("the conduit refused the configuration (result " + std::to_string(r) + ")");
  }
  if (record.preference != kSyncPreferenceDefault && record.preference != kSyncPreferenceNextOnly) {
    context.out() << "No change.\n";
    return kHotSyncExitOk;
  }
  return Keep(context, settings, user, record.chosenSyncType, record.preference);
}

int RunConfigure(HotSyncContext& context, const CommandLine& line) {
  const std::string* actionName = line.Value("action");
  std::int32_t syncType = 0;
  if (actionName == nullptr && line.Has("default")) return context.Usage("--default goes with --action ACTION");
  if (actionName != nullptr && !ParseSyncAction(*actionName, &syncType)) {
    return context.Usage(UnknownSyncActionMessage(*actionName));
  }
  UserData users(context.root());
  HotSyncUser user;
  if (const int selected = context.SelectUser(users, line.Value("user"), &user); selected != kHotSyncExitOk) {
    return selected;
  }
  ConduitSettings settings(users, user.id);
  if (actionName != nullptr) {
    return Keep(context, settings, user, syncType,
                line.Has("default") ? kSyncPreferenceDefault : kSyncPreferenceNextOnly);
  }
  std::string why;
  if (!DisplayProbe::CanShowDialog(&why)) {
    return context.Fail("the conduit's action dialog needs a display: " + why +
                        "; choose without it with 'hotsync configure --action ACTION [--default]'");
  }
  return ChooseInDialog(context, users, settings, user);
}

}  // namespace

const HotSyncCommand kConfigureCommand{
    {"configure",
     "choose the conduit's HotSync action",
     "Chooses the Tallimor conduit's HotSync action for the user NAME (needed when\n"
     "there are several users): for the next HotSync only, or with --default as the\n"
     "default from then on (which also drops a next-HotSync-only action). With\n"
     "--action the action is set at once; without it the conduit's action dialog is\n"
     "shown, which needs a display (an X server or a Wayland compositor): without one\n"
     "the command is refused. ACTION is fast, slow, handheld-to-desktop,\n"
     "desktop-to-handheld or nothing (see 'hotsync help sync'). The choice is stored\n"
     "with the user in the users file (section TallimorC: SyncType, NextSyncType).\n",
     {{'a', "action", "ACTION", "set this action without the dialog"},
      {'\0', "default", nullptr, "with --action: keep it as the default, not for the\nnext HotSync only"},
      {'u', "user", "NAME", "the HotSync user"}},
     {}},
    RunConfigure};

}  // namespace tallimor
