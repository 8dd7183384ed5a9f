// The command line of `hotsync`: global options, then one command with its options
// ("--name VALUE" or "--name=VALUE"). Each command is a short function over the
// HotSync root; the HotSync itself is HotSyncSession's.
#include "hotsync/manager/HotSyncCommands.h"

#include <cstdlib>
#include <map>
#include <optional>

#include "conduit/ConduitInterface.h"
#include "hotsync/log/HotSyncLog.h"
#include "hotsync/manager/ConduitLibrary.h"
#include "hotsync/manager/ConduitSettings.h"
#include "hotsync/manager/ExitStatus.h"
#include "hotsync/manager/HotSyncSession.h"
#include "hotsync/manager/LogListing.h"
#include "hotsync/manager/SyncAction.h"
#include "hotsync/manager/SyncRunProperties.h"
#include "hotsync/manager/TerminalText.h"
#include "hotsync/users/HotSyncRoot.h"
#include "hotsync/users/UserData.h"
#include "hotsync/users/UsersResults.h"
#include "text/CodePage932.h"

#ifndef TALLIMOR_VERSION
#error "TALLIMOR_VERSION must come from the build"
#endif

namespace tallimor {
namespace {

struct OptionSpec {
  const char* name;  // with its "--"
  bool takesValue;
};

struct ParsedOptions {
  std::map<std::string, std::string> values;  // flags map to ""
  std::vector<std::string> operands;

  const std::string* Value(const std::string& name) const {
    const auto found = values.find(name);
    return found == values.end() ? nullptr : &found->second;
  }
};

// Splits words into the options of `specs` and operands. False with *error for an
// unknown option, a missing value, a value given to a flag, or an option given twice.
bool ParseOptions(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs,
                  ParsedOptions* parsed, std::string* error) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.size() < 2 || word.compare(0, 2, "--") != 0) {
      parsed->operands.push_back(word);
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& s : specs) {
      if (name == s.name) spec = &s;
    }
    if (spec == nullptr) {
      *error = "unknown option '" + name + "'";
      return false;
    }
    if (parsed->values.count(name) != 0) {
      *error = name + " is given twice";
      return false;
    }
    std::string value;
    if (equals != std::string::npos) {
      if (!spec->takesValue) {
        *error = name + " takes no value";
        return false;
      }
      value = word.substr(equals + 1);
    } else if (spec->takesValue) {
      if (i + 1 >= words.size()) {
        *error = name + " needs a value";
        return false;
      }
      value = words[++i];
    }
    if (spec->takesValue && value.empty()) {
      *error = name + " needs a value";
      return false;
    }
    parsed->values[name] = value;
  }
  return true;
}

bool WantsHelp(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (word == "--help") return true;
  }
  return false;
}

int UsageError(const std::string& message, std::ostream& err) {
  err << kHotSyncProgram << ": " << message << "\n"
      << "Try '" << kHotSyncProgram << " --help' for more information.\n";
  return kHotSyncExitUsage;
}

int Failure(const std::string& message, std::ostream& err) {
  err << kHotSyncProgram << ": " << message << "\n";
  return kHotSyncExitFailed;
}

// The user that --user names, or the only user when it is not given.
int SelectUser(UserData& users, const std::string* name, HotSyncUser* user, std::ostream& err) {
  if (name != nullptr) {
    // Names are stored as the handheld writes them, in code page 932.
    const Converted<std::string> stored = CodePage932::FromUtf8(*name);
    const Result r = stored.ok() ? users.FindUserByName(stored.text, user) : kUsersErrUnknownUser;
    if (r == kUsersErrUnknownUser) {
      return Failure("there is no HotSync user \"" + *name + "\" in " + users.root() +
                         " ('hotsync users' lists them)",
                     err);
    }
    if (r != kOk) return Failure("cannot read the HotSync users: " + std::string(UsersResultMeaning(r)), err);
    return kHotSyncExitOk;
  }
  std::vector<HotSyncUser> all;
  const Result r = users.Users(&all);
  if (r != kOk) return Failure("cannot read the HotSync users: " + std::string(UsersResultMeaning(r)), err);
  if (all.empty()) {
    return Failure("there are no HotSync users in " + users.root() + " yet; HotSync a handheld first", err);
  }
  if (all.size() > 1) return Failure("there are several HotSync users; choose one with --user NAME", err);
  *user = all.front();
  return kHotSyncExitOk;
}

// Whether Qt can reach a display for the conduit's dialog.
bool DisplayAvailable() {
  for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') return true;
  }
  return false;
}

int SyncCommand(const std::string& root, const ParsedOptions& options, std::ostream& out,
                std::ostream& err) {
  if (!options.operands.empty()) return UsageError("sync takes no operand '" + options.operands[0] + "'", err);
  const std::string* handheld = options.Value("--handheld");
  if (handheld == nullptr) return UsageError("sync needs --handheld DIR", err);
  std::optional<std::int32_t> action;
  if (const std::string* name = options.Value("--action"); name != nullptr) {
    std::int32_t syncType = 0;
    if (!ParseSyncAction(*name, &syncType)) {
      return UsageError("unknown action '" + *name +
                            "' (fast, slow, handheld-to-desktop, desktop-to-handheld or nothing)",
                        err);
    }
    action = syncType;
  }
  HotSyncSession session(root, out, err);
  session.SetAllowMassDelete(options.Value("--allow-mass-delete") != nullptr);
  return session.Run(*handheld, action);
}

int ConfigureCommand(const std::string& root, const ParsedOptions& options, std::ostream& out,
                     std::ostream& err) {
  if (!options.operands.empty()) return UsageError("configure takes no operand '" + options.operands[0] + "'", err);
  UserData users(root);
  HotSyncUser user;
  if (const int selected = SelectUser(users, options.Value("--user"), &user, err); selected != kHotSyncExitOk) {
    return selected;
  }
  if (!DisplayAvailable()) {
    return Failure("the conduit's action dialog needs a display: set DISPLAY (or "
                   "QT_QPA_PLATFORM=offscreen where no window can be shown)",
                   err);
  }
  ConduitSettings settings(users, user.id);
  std::int32_t defaultType = 0;
  std::int32_t nextType = ConduitSettings::kNoNext;
  if (const Result r = settings.Read(&defaultType, &nextType); r != kOk) {
    return Failure("cannot read the conduit's HotSync action: " + std::string(UsersResultMeaning(r)), err);
  }
  ConduitLibrary conduit;
  std::string error;
  if (!conduit.Load(&error)) return Failure("cannot load the conduit: " + error, err);

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
    return Failure("the conduit refused the configuration (result " + std::to_string(r) + ")", err);
  }
  if (record.preference != kSyncPreferenceDefault && record.preference != kSyncPreferenceNextOnly) {
    out << "No change.\n";
    return kHotSyncExitOk;
  }
  if (const Result r = settings.Choose(record.chosenSyncType, record.preference); r != kOk) {
    return Failure("cannot keep the chosen HotSync action: " + std::string(UsersResultMeaning(r)), err);
  }
  out << "HotSync action for \"" << TerminalText(user.name)
      << "\": " << DescribeSyncType(record.chosenSyncType)
      << (record.preference == kSyncPreferenceDefault ? " (the default from now on)"
                                                      : " (the next HotSync only)")
      << "\n";
  return kHotSyncExitOk;
}

void WriteUserLog(const std::string& root, const HotSyncUser& user, std::ostream& out, std::ostream& err,
                  int* status) {
  HotSyncLog log(root + user.directory);
  std::vector<LogRun> runs;
  if (const Result r = log.ReadRuns(&runs); r != kOk) {
    *status = Failure("cannot read " + log.path() + ": " + ResultMeaning(r), err);
    return;
  }
  if (runs.empty()) out << "No HotSync yet.\n";
  for (const LogRun& run : runs) WriteLogRun(run, out);
}

int LogCommand(const std::string& root, const ParsedOptions& options, std::ostream& out,
               std::ostream& err) {
  if (!options.operands.empty()) return UsageError("log takes no operand '" + options.operands[0] + "'", err);
  UserData users(root);
  int status = kHotSyncExitOk;
  if (const std::string* name = options.Value("--user"); name != nullptr) {
    HotSyncUser user;
    if (const int selected = SelectUser(users, name, &user, err); selected != kHotSyncExitOk) return selected;
    WriteUserLog(users.root(), user, out, err, &status);
    return status;
  }
  std::vector<HotSyncUser> all;
  if (const Result r = users.Users(&all); r != kOk) {
    return Failure("cannot read the HotSync users: " + std::string(UsersResultMeaning(r)), err);
  }
  if (all.empty()) out << "No HotSync users yet.\n";
  for (const HotSyncUser& user : all) {
    if (all.size() > 1) out << "== " << TerminalText(user.name) << " ==\n";
    WriteUserLog(users.root(), user, out, err, &status);
  }
  return status;
}

int UsersCommand(const std::string& root, const ParsedOptions& options, std::ostream& out,
                 std::ostream& err) {
  if (!options.operands.empty()) return UsageError("users takes no operand '" + options.operands[0] + "'", err);
  UserData users(root);
  std::vector<HotSyncUser> all;
  if (const Result r = users.Users(&all); r != kOk) {
    return Failure("cannot read the HotSync users: " + std::string(UsersResultMeaning(r)), err);
  }
  for (const HotSyncUser& user : all) {
    out << user.id << "\t" << TerminalText(user.name) << "\t" << users.root()
        << TerminalText(user.directory) << "\n";
  }
  return kHotSyncExitOk;
}

// One row per command: its name, its options, what it runs, and its help.
struct Command {
  const char* name;
  std::vector<OptionSpec> options;
  int (*run)(const std::string&, const ParsedOptions&, std::ostream&, std::ostream&);
  const char* help;
};

const Command kCommands[] = {
    {"sync", {{"--handheld", true}, {"--action", true}, {"--allow-mass-delete", false}}, SyncCommand,
     "Usage: hotsync [--root DIR] sync --handheld DIR [--action ACTION] [--allow-mass-delete]\n"
     "\n"
     "HotSyncs the emulated handheld in DIR with the Tallimor conduit. The handheld's\n"
     "user becomes a HotSync user of this computer on its first HotSync. A running\n"
     "Tallimor desktop program is asked first and may refuse (exit status 3). The\n"
     "HotSync log entries of the run are printed; progress goes to standard error.\n"
     "\n"
     "ACTION is one of:\n"
     "  fast                 the records changed on either side (the usual HotSync)\n"
     "  slow                 every record of both sides compared\n"
     "  handheld-to-desktop  the handheld overwrites the desktop\n"
     "  desktop-to-handheld  the desktop overwrites the handheld\n"
     "  nothing              nothing is synchronized\n"
     "Without --action the action chosen with 'hotsync configure' is used (fast until\n"
     "one is chosen). A fast HotSync compares every record instead on the first HotSync\n"
     "of a handheld or user, and after a HotSync of the handheld that failed or was\n"
     "interrupted (marked by HotSync.unfinished in the user's HotSync directory).\n"
     "\n"
     "A HotSync that would delete more than a tenth of the desktop's memos (and at\n"
     "least 5) only because the handheld lacks them stops before it changes anything,\n"
     "since that is what a damaged or cut-short handheld database looks like.\n"
     "--allow-mass-delete lets this one HotSync go on.\n"},
    {"configure", {{"--user", true}}, ConfigureCommand,
     "Usage: hotsync [--root DIR] configure [--user NAME]\n"
     "\n"
     "Shows the conduit's HotSync action dialog for the user NAME (needed when there\n"
     "are several users) and keeps the action chosen there, either as the default or\n"
     "for the next HotSync only. The choice is stored with the user in the users file\n"
     "(section TallimorC: SyncType, NextSyncType). The dialog needs a display; with\n"
     "QT_QPA_PLATFORM=offscreen it runs without one.\n"},
    {"log", {{"--user", true}}, LogCommand,
     "Usage: hotsync [--root DIR] log [--user NAME]\n"
     "\n"
     "Shows the HotSync log of the user NAME, or of every user: each HotSync with its\n"
     "outcome and its entries.\n"},
    {"users", {}, UsersCommand,
     "Usage: hotsync [--root DIR] users\n"
     "\n"
     "Lists the HotSync users, one a line: user id, name and HotSync directory,\n"
     "separated by tabs.\n"},
};

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

}  // namespace

void WriteHotSyncHelp(std::ostream& out) {
  out << "Usage: hotsync [--root DIR] COMMAND [OPTIONS]\n"
         "\n"
         "The HotSync manager of Tallimor: HotSyncs an emulated handheld with the Tallimor\n"
         "conduit, lets you choose the conduit's HotSync action, and shows the HotSync log.\n"
         "\n"
         "Commands:\n"
         "  sync --handheld DIR [--action ACTION]  HotSync the handheld in DIR\n"
         "  configure [--user NAME]                choose the conduit's HotSync action\n"
         "  log [--user NAME]                      show the HotSync log\n"
         "  users                                  list the HotSync users\n"
         "  help [COMMAND]                         show this help, or a command's\n"
         "\n"
         "Options:\n"
         "  --root DIR   the HotSync root (default $TALLIMOR_HOTSYNC_ROOT, else\n"
         "               $XDG_DATA_HOME/Tallimor/HotSync, else ~/.local/share/Tallimor/HotSync)\n"
         "  --help       show this help ('hotsync COMMAND --help' shows a command's)\n"
         "  --version    show the version\n"
         "\n"
         "Environment:\n"
         "  TALLIMOR_CONDUIT     the conduit library to load instead of libTallimorC.so\n"
         "                       from hotsync's directory, then its build tree or, when\n"
         "                       installed, <prefix>/lib/tallimor\n"
         "  TALLIMOR_NOTIFIER    the notifier library instead of libTallimorN.so, found the\n"
         "                       same way; set empty to HotSync without a notifier\n"
         "  TALLIMOR_SYNC_FAULT  make one Sync Manager call fail: call=N,kind=comm|storage\n"
         "\n"
         "Exit status: 0 success, 1 failure, 2 wrong command line, 3 the HotSync was\n"
         "refused by the Tallimor desktop program.\n";
}

bool WriteHotSyncCommandHelp(const std::string& command, std::ostream& out) {
  const Command* found = FindCommand(command);
  if (found == nullptr) return false;
  out << found->help;
  return true;
}

int RunHotSyncProgram(const std::vector<std::string>& arguments, std::ostream& out,
                      std::ostream& err) {
  std::string rootOption;
  std::size_t i = 0;
  for (; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--help") {
      WriteHotSyncHelp(out);
      return kHotSyncExitOk;
    }
    if (word == "--version") {
      out << kHotSyncProgram << " " << TALLIMOR_VERSION << "\n";
      return kHotSyncExitOk;
    }
    if (word == "--root" || word.rfind("--root=", 0) == 0) {
      if (!rootOption.empty()) return UsageError("--root is given twice", err);
      if (word == "--root") {
        if (i + 1 >= arguments.size()) return UsageError("--root needs a directory", err);
        rootOption = arguments[++i];
      } else {
        rootOption = word.substr(7);
      }
      if (rootOption.empty()) return UsageError("--root needs a directory", err);
      continue;
    }
    if (word.size() > 1 && word[0] == '-') return UsageError("unknown option '" + word + "'", err);
    break;
  }
  if (i >= arguments.size()) return UsageError("no command given", err);
  const std::string& name = arguments[i];
  const std::vector<std::string> words(arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1, arguments.end());
  if (name == "help") {
    if (words.empty()) {
      WriteHotSyncHelp(out);
      return kHotSyncExitOk;
    }
    if (!WriteHotSyncCommandHelp(words[0], out)) return UsageError("unknown command '" + words[0] + "'", err);
    return kHotSyncExitOk;
  }
  const Command* command = FindCommand(name);
  if (command == nullptr) return UsageError("unknown command '" + name + "'", err);
  if (WantsHelp(words)) {
    out << command->help;
    return kHotSyncExitOk;
  }
  ParsedOptions options;
  std::string error;
  if (!ParseOptions(words, command->options, &options, &error)) return UsageError(error, err);
  return command->run(HotSyncRoot(rootOption), options, out, err);
}

}  // namespace tallimor
