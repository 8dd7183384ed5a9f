// The commands of tallimor-handheld and their help. Each command checks its whole
// command line before it touches the handheld, asks for the password only when it
// must read or write memo text of a protected database, and saves the database only
// when the command succeeded, so a refused command leaves every file as it was.
#include "tools/tallimor-handheld/HandheldCommands.h"

#include <unistd.h>

#include <cctype>
#include <ctime>
#include <memory>

#include "desktop/PasswordInfo.h"
#include "hotsync/handheld/Handheld.h"
#include "hotsync/pdb/PdbReader.h"
#include "hotsync/pdb/PdbWriter.h"
#include "text/CodePage932.h"
#include "tools/common/PasswordPrompt.h"
#include "tools/common/TextOutput.h"
#include "tools/tallimor-handheld/ArgumentParser.h"
#include "tools/tallimor-handheld/MemoDatabase.h"

namespace tallimor {
namespace {

// One command run: where it acts, where it reports, and the ways it ends.
class Session {
 public:
  Session(const std::string& directory, const char* command, std::ostream& out, std::ostream& err)
      : directory_(directory), command_(command), out_(out), err_(err) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  std::ostream& out() { return out_; }
  std::ostream& err() { return err_; }
  const std::string& directory() const { return directory_; }

  int Usage(const std::string& message) {
    err_ << kHandheldProgram << " " << command_ << ": " << message << "\n"
         << "Try '" << kHandheldProgram << " " << command_ << " --help' for more information.\n";
    return kExitUsage;
  }
  int Fail(const std::string& message) { return Report(message, kExitFailed); }
  int Report(const std::string& message, int status) {
    err_ << kHandheldProgram << " " << command_ << ": " << message << "\n";
    return status;
  }
  void Note(const std::string& message) { err_ << kHandheldProgram << ": note: " << message << "\n"; }

  // Parses the arguments and checks the number of operands.
  bool Parse(const std::vector<std::string>& args, std::initializer_list<OptionSpec> specs, std::size_t minOperands,
             std::size_t maxOperands, ArgumentParser* parser, int* status) {
    std::string error;
    if (!parser->Parse(args, specs, &error)) {
      *status = Usage(error);
      return false;
    }
    const std::size_t n = parser->operands().size();
    if (n < minOperands || n > maxOperands) {
      *status = Usage(n < minOperands ? "missing operand" : "extra operand '" + parser->operands()[maxOperands] +
                                                                "' (quote a text of several words)");
      return false;
    }
    return true;
  }

  // UTF-8 from the command line as the code page 932 bytes that are stored.
  bool ToCp932(const std::string& utf8, const std::string& what, std::string* cp932, int* status) {
    Converted<std::string> converted = CodePage932::FromUtf8(utf8);
    if (!converted.ok()) {
      std::string where = "at byte " + std::to_string(converted.errorOffset);
      if (converted.error == TextError::kUnrepresentable) {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(converted.errorCharacter));
        where = std::string("character ") + code + " " + where;
      }
      *status = Fail(what + " cannot be stored: " + CodePage932::ErrorMeaning(converted.error) + " (" + where +
                     "); texts are taken as UTF-8 and stored in code page 932");
      return false;
    }
    *cp932 = std::move(converted.text);
    return true;
  }

  Handheld& handheld() { return *handheld_; }
  MemoDatabase& memo() { return *memo_; }

  int OpenHandheld() {
    std::string error;
    const Result opened = Handheld::Open(directory_, &handheld_, &error);
    if (opened == kSyncErrNotFound) return Fail(error + " (make one with 'init --user NAME')");
    if (opened != kSyncErrNone) return Fail(error);
    // Held until the command ends: a HotSync must not write the handheld between this
    // command's reading and its writing, nor this command between a HotSync's.
    if (handheld_->Lock("tallimor-handheld", &error) != kSyncErrNone) return Fail(error);
    return kExitOk;
  }

  // Opens the memo database; with `needsText` also asks for the password of a
  // protected one and unlocks it.
  int OpenMemo(bool needsText) {
    const int status = OpenHandheld();
    if (status != kExitOk) return status;
    std::unique_ptr<HandheldDatabase> db;
    std::string error;
    const Result loaded = handheld_->LoadDatabase(MemoDatabase::kDatabaseName, &db, &error);
    const std::string file = handheld_->DatabasePath(MemoDatabase::kDatabaseName);
    if (loaded == kSyncErrNotFound) {
      return Fail("the handheld has no memo database " + file + " (make one with 'create-db')");
    }
    if (loaded != kSyncErrNone) return Fail(file + " cannot be read: " + error);
    if (MemoDatabase::Adopt(std::move(db), &memo_, &error) != kOk) return Fail(file + ": " + error);
    if (needsText && memo_->IsProtected()) return Unlock("Password: ");
    return kExitOk;
  }

  // Starts a new memo database in memory (saved by Save).
  void NewMemo(std::unique_ptr<MemoDatabase> memo) { memo_ = std::move(memo); }

  int Unlock(const char* prompt) {
    std::string password;
    std::string error;
    if (!ReadCodePage932Password(prompt, &password, &error)) return Report(error, kExitPassword);
    const bool matches = memo_->Unlock(password);
    WipeSecret(password);
    if (!matches) {
      return Report("wrong password: it does not match the password of the memo database", kExitPassword);
    }
    return kExitOk;
  }

  // Reads a new password (typed twice on a terminal) and checks that it can be set.
  int ReadNewPassword(std::string* password) {
    std::string error;
    if (!ReadCodePage932Password("New password: ", password, &error)) return Report(error, kExitPassword);
    if (!MemoDatabase::CheckPassword(*password, &error)) {
      WipeSecret(*password);
      return Report(error, kExitPassword);
    }
    if (isatty(STDIN_FILENO) == 1) {
      std::string again;
      if (!ReadCodePage932Password("Retype new password: ", &again, &error)) {
        WipeSecret(*password);
        return Report(error, kExitPassword);
      }
      const bool same = again == *password;
      WipeSecret(again);
      if (!same) {
        WipeSecret(*password);
        return Report("the two passwords typed differ; nothing was changed", kExitPassword);
      }
    }
    return kExitOk;
  }

  // Reads a new password and sets it with `hint` on the memo database.
  int SetNewPassword(const std::string& hint) {
    std::string password;
    const int status = ReadNewPassword(&password);
    if (status != kExitOk) return status;
    std::string error;
    const Result changed = memo_->ChangePassword(password, hint, &error);
    WipeSecret(password);
    return changed == kOk ? kExitOk : Fail(error);
  }

  // The --hint option as code page 932 bytes that fit (empty when not given).
  bool HintOption(const ArgumentParser& p, std::string* hint, int* status) {
    if (p.Has("--hint") && !ToCp932(*p.Value("--hint"), "the hint", hint, status)) return false;
    std::string error;
    if (MemoDatabase::CheckHint(*hint, &error)) return true;
    *status = Fail(error);
    return false;
  }

  int Save() {
    std::string error;
    if (handheld_->SaveDatabase(MemoDatabase::kDatabaseName, memo_->database(), &error) != kSyncErrNone) {
      return Fail("the memo database cannot be written: " + error);
    }
    return kExitOk;
  }
  // Saves when something changed; otherwise says why nothing was written.
  int SaveIfChanged(bool changed, const std::string& unchanged) {
    if (changed) return Save();
    Note(unchanged + "; nothing was changed");
    return kExitOk;
  }

 private:
  std::string directory_;
  const char* command_;
  std::ostream& out_;
  std::ostream& err_;
  std::unique_ptr<Handheld> handheld_;
  std::unique_ptr<MemoDatabase> memo_;
};

std::uint32_t NowPalm() { return PalmTimeFromUnix(static_cast<std::int64_t>(std::time(nullptr))); }

std::string CategoryName(const CPCategoryTable& categories, int index) {
  const CPCategory* category = categories.At(index);
  if (category == nullptr || category->Name() == nullptr) return "";
  bool lossy = false;
  return DisplayUtf8(category->Name(), &lossy);
}

// The words for the attributes of a record, for the listing.
std::string AttributeWords(std::uint8_t attributes) {
  std::string words;
  auto add = [&words](const char* word) { words += std::string(words.empty() ? "" : " ") + word; };
  if (attributes & 0x80) add((attributes & 0x08) ? "archived" : "deleted");
  if (attributes & 0x40) add("dirty");
  if (attributes & 0x20) add("busy");
  if (attributes & 0x10) add("private");
  return words;
}

// --- The commands ---

int RunInit(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  if (!s.Parse(args, {{"--user", true}, {"--user-id", true}}, 0, 0, &p, &status)) return status;
  if (!p.Has("--user")) return s.Usage("--user NAME is required");
  HandheldIdentity identity;
  identity.userName = *p.Value("--user");
  if (p.Has("--user-id") && !ArgumentParser::ParseUserId(*p.Value("--user-id"), &identity.userId)) {
    return s.Usage("--user-id takes a number from 0 to 4294967295");
  }
  std::string error;
  if (Handheld::Create(s.directory(), identity, &error) != kSyncErrNone) return s.Fail(error);
  return kExitOk;
}

int RunCreateDb(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  std::string hint;
  if (!s.Parse(args, {{"--password", false}, {"--hint", true}}, 0, 0, &p, &status)) return status;
  if (p.Has("--hint") && !p.Has("--password")) return s.Usage("--hint needs --password");
  if (!s.HintOption(p, &hint, &status)) return status;
  status = s.OpenHandheld();
  if (status != kExitOk) return status;
  if (s.handheld().DatabaseExists(MemoDatabase::kDatabaseName)) {
    return s.Fail("the handheld already holds the memo database " +
                  s.handheld().DatabasePath(MemoDatabase::kDatabaseName));
  }
  s.NewMemo(MemoDatabase::CreateNew(NowPalm()));
  if (p.Has("--password")) {
    status = s.SetNewPassword(hint);
    if (status != kExitOk) return status;
  }
  return s.Save();
}

int RunPassword(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  std::string hint;
  if (!s.Parse(args, {{"--hint", true}, {"--remove", false}}, 0, 0, &p, &status)) return status;
  const bool remove = p.Has("--remove");
  if (p.Has("--hint") && remove) return s.Usage("--hint and --remove exclude each other");
  if (!s.HintOption(p, &hint, &status)) return status;
  status = s.OpenMemo(false);
  if (status != kExitOk) return status;
  if (remove && !s.memo().IsProtected()) return s.Fail("the memo database has no password to remove");
  if (s.memo().IsProtected()) {
    status = s.Unlock("Current password: ");
    if (status != kExitOk) return status;
  }
  if (remove) {
    std::string error;
    if (s.memo().ChangePassword("", "", &error) != kOk) return s.Fail(error);
  } else {
    if (!p.Has("--hint")) hint = s.memo().hint();  // a new password keeps the hint
    status = s.SetNewPassword(hint);
    if (status != kExitOk) return status;
  }
  return s.Save();
}

int RunAdd(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  if (!s.Parse(args, {{"--category", true}, {"--private", false}}, 1, 1, &p, &status)) return status;
  int category = 0;
  if (p.Has("--category") && !ArgumentParser::ParseCategoryIndex(*p.Value("--category"), &category)) {
    return s.Usage("--category takes a category index from 0 to 15");
  }
  std::string text;
  if (!s.ToCp932(p.operands()[0], "the memo text", &text, &status)) return status;
  status = s.OpenMemo(true);
  if (status != kExitOk) return status;
  std::uint32_t id = 0;
  std::string error;
  const Result added = s.memo().AddMemo(text, category, p.Has("--private"), &id, &error);
  WipeSecret(text);
  if (added != kOk) return s.Fail(error);
  status = s.Save();
  if (status == kExitOk) s.out() << id << "\n";
  return status;
}

// Parses the command line of a command on one memo: ID, then `more` operands.
bool ParseOnMemo(Session& s, const std::vector<std::string>& args, std::initializer_list<OptionSpec> specs,
                 std::size_t more, ArgumentParser* p, std::uint32_t* id, int* status) {
  if (!s.Parse(args, specs, 1 + more, 1 + more, p, status)) return false;
  if (ArgumentParser::ParseRecordId(p->operands()[0], id)) return true;
  *status = s.Usage("'" + p->operands()[0] + "' is not a memo id (1 to 16777215, or 0x1 to 0xFFFFFF)");
  return false;
}

int RunEdit(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  std::uint32_t id = 0;
  std::string text;
  if (!ParseOnMemo(s, args, {}, 1, &p, &id, &status) ||
      !s.ToCp932(p.operands()[1], "the memo text", &text, &status) || (status = s.OpenMemo(true)) != kExitOk) {
    return status;
  }
  bool changed = false;
  std::string error;
  const Result edited = s.memo().EditMemo(id, text, &changed, &error);
  WipeSecret(text);
  if (edited != kOk) return s.Fail(error);
  return s.SaveIfChanged(changed, "memo " + std::to_string(id) + " already has that text");
}

int RunDelete(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  std::uint32_t id = 0;
  if (!ParseOnMemo(s, args, {{"--archive", false}}, 0, &p, &id, &status) || (status = s.OpenMemo(false)) != kExitOk) {
    return status;
  }
  std::string error;
  if (s.memo().DeleteMemo(id, p.Has("--archive"), &error) != kOk) return s.Fail(error);
  return s.Save();
}

int RunPrivate(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  std::uint32_t id = 0;
  if (!ParseOnMemo(s, args, {}, 1, &p, &id, &status)) return status;
  const std::string& setting = p.operands()[1];
  if (setting != "on" && setting != "off") return s.Usage("the second operand must be 'on' or 'off'");
  status = s.OpenMemo(false);
  if (status != kExitOk) return status;
  bool changed = false;
  std::string error;
  if (s.memo().SetPrivate(id, setting == "on", &changed, &error) != kOk) return s.Fail(error);
  return s.SaveIfChanged(changed,
                         "memo " + std::to_string(id) + " is already " + (setting == "on" ? "private" : "public"));
}

int RunMove(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  std::uint32_t id = 0;
  int category = 0;
  if (!ParseOnMemo(s, args, {}, 1, &p, &id, &status)) return status;
  if (!ArgumentParser::ParseCategoryIndex(p.operands()[1], &category)) {
    return s.Usage("'" + p.operands()[1] + "' is not a category index (0 to 15)");
  }
  status = s.OpenMemo(false);
  if (status != kExitOk) return status;
  bool changed = false;
  std::string error;
  if (s.memo().MoveMemo(id, category, &changed, &error) != kOk) return s.Fail(error);
  return s.SaveIfChanged(changed, "memo " + std::to_string(id) + " is already in category " +
                                      std::to_string(category));
}

// The memo text of a record as UTF-8; counts a memo that is not code page 932 text.
std::string MemoUtf8(const MemoDatabase& memo, const PdbRecord& record, std::size_t* undecodable) {
  std::string cp932 = memo.MemoText(record);
  bool lossy = false;
  std::string utf8 = DisplayUtf8(cp932, &lossy);
  WipeSecret(cp932);
  if (lossy) ++*undecodable;
  return utf8;
}

void NoteUndecodable(Session& s, std::size_t undecodable) {
  if (undecodable > 0) {
    s.Note(std::to_string(undecodable) + " memo(s) hold bytes that are not code page 932 text; they show as U+FFFD");
  }
}

int RunShow(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  std::uint32_t id = 0;
  if (!ParseOnMemo(s, args, {}, 0, &p, &id, &status) || (status = s.OpenMemo(true)) != kExitOk) return status;
  const HandheldDatabase& db = s.memo().database();
  const auto index = db.IndexOfId(id);
  if (!index) return s.Fail("there is no memo with id " + std::to_string(id));
  std::size_t undecodable = 0;
  std::string text = MemoUtf8(s.memo(), *db.RecordAt(*index), &undecodable);
  s.out() << text << "\n";
  WipeSecret(text);
  NoteUndecodable(s, undecodable);
  return kExitOk;
}

int RunList(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  if (!s.Parse(args, {{"--json", false}}, 0, 0, &p, &status) || (status = s.OpenMemo(true)) != kExitOk) {
    return status;
  }
  const MemoDatabase& memo = s.memo();
  const HandheldDatabase& db = memo.database();
  const bool json = p.Has("--json");
  std::size_t undecodable = 0;
  if (json) s.out() << "[";
  for (std::size_t i = 0; i < db.count(); ++i) {
    const PdbRecord& record = *db.RecordAt(i);
    const std::uint8_t attributes = MemoDatabase::ReportedAttributes(record);
    std::string text = MemoUtf8(memo, record, &undecodable);
    if (json) {
      s.out() << (i == 0 ? "\n  " : ",\n  ") << "{\"id\": " << record.uniqueId << ", \"index\": " << i
              << ", \"category\": " << record.category() << ", \"attributes\": " << unsigned(attributes)
              << ", \"text\": " << JsonUtf8(text) << "}";
    } else {
      s.out() << "memo " << record.uniqueId << "  index " << i;
      if (record.hasCategory()) {
        s.out() << "  category " << record.category() << " "
                << JsonUtf8(CategoryName(memo.categories(), record.category()));
      }
      const std::string words = AttributeWords(attributes);
      s.out() << (words.empty() ? "" : "  ") << words << "\n";
      WriteMemoLines(text, s.out());
    }
    WipeSecret(text);
  }
  if (json) s.out() << (db.count() == 0 ? "]\n" : "\n]\n");
  else if (db.count() == 0) s.out() << "(no memos)\n";
  NoteUndecodable(s, undecodable);
  return kExitOk;
}

int RunCategory(Session& s, const std::vector<std::string>& args) {
  if (args.empty()) return s.Usage("missing sub-command: add, rename, delete or list");
  const std::string& sub = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  ArgumentParser p;
  int status = kExitOk;
  std::string error;
  if (sub == "list") {
    if (!s.Parse(rest, {{"--json", false}}, 0, 0, &p, &status) || (status = s.OpenMemo(false)) != kExitOk) {
      return status;
    }
    const CPCategoryTable& categories = s.memo().categories();
    const bool json = p.Has("--json");
    bool first = true;
    if (json) s.out() << "[";
    for (int i = 0; i < kCategoryCount; ++i) {
      const CPCategory* category = categories.At(i);
      if (category == nullptr) continue;
      const std::string name = CategoryName(categories, i);
      if (json) {
        s.out() << (first ? "\n  " : ",\n  ") << "{\"index\": " << i << ", \"id\": " << category->Id()
                << ", \"name\": " << JsonUtf8(name) << ", \"renamed\": " << (category->IsChanged() ? "true" : "false")
                << "}";
      } else {
        s.out() << "index " << i << "  id " << category->Id() << "  " << JsonUtf8(name)
                << (category->IsChanged() ? "  renamed" : "") << "\n";
      }
      first = false;
    }
    if (json) s.out() << (first ? "]\n" : "\n]\n");
    return kExitOk;
  }
  int index = 0;
  std::string name;
  if (sub == "add") {
    if (!s.Parse(rest, {}, 1, 1, &p, &status)) return status;
    if (!s.ToCp932(p.operands()[0], "the category name", &name, &status)) return status;
  } else if (sub == "rename" || sub == "delete") {
    const std::size_t operands = sub == "rename" ? 2 : 1;
    if (!s.Parse(rest, {}, operands, operands, &p, &status)) return status;
    if (!ArgumentParser::ParseCategoryIndex(p.operands()[0], &index)) {
      return s.Usage("'" + p.operands()[0] + "' is not a category index (0 to 15)");
    }
    if (sub == "rename" && !s.ToCp932(p.operands()[1], "the category name", &name, &status)) return status;
  } else {
    return s.Usage("unknown sub-command '" + sub + "': add, rename, delete or list");
  }
  status = s.OpenMemo(false);
  if (status != kExitOk) return status;
  if (sub == "add") {
    if (s.memo().AddCategory(name, &index, &error) != kOk) return s.Fail(error);
    status = s.Save();
    if (status == kExitOk) s.out() << index << "\n";
    return status;
  }
  if (sub == "rename") {
    bool changed = false;
    if (s.memo().RenameCategory(index, name, &changed, &error) != kOk) return s.Fail(error);
    return s.SaveIfChanged(changed, "category " + std::to_string(index) + " already has that name");
  }
  std::size_t moved = 0;
  if (s.memo().DeleteCategory(index, &moved, &error) != kOk) return s.Fail(error);
  status = s.Save();
  if (status == kExitOk && moved > 0) s.Note(std::to_string(moved) + " memo(s) moved to Unfiled");
  return status;
}

int RunImport(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  if (!s.Parse(args, {{"--replace", false}}, 1, 1, &p, &status)) return status;
  const std::string& path = p.operands()[0];
  status = s.OpenHandheld();
  if (status != kExitOk) return status;
  Handheld& handheld = s.handheld();
  PdbFile file;
  std::string error;
  if (PdbReader::ReadFile(path, &file, &error) != kOk) return s.Fail(path + ": " + error);
  const std::string name = file.header.name;
  if (!Handheld::IsValidDatabaseName(name)) {
    return s.Fail(path + ": the database name \"" + name + "\" cannot name a file of the handheld");
  }
  if (handheld.DatabaseExists(name) && !p.Has("--replace")) {
    return s.Fail("the handheld already holds a database named \"" + name + "\" (" + handheld.DatabasePath(name) +
                  "); give --replace to overwrite it");
  }
  std::unique_ptr<HandheldDatabase> db = HandheldDatabase::FromFile(std::move(file));
  if (handheld.SaveDatabase(name, *db, &error) != kSyncErrNone) return s.Fail(error);
  s.out() << name << "\n";
  return kExitOk;
}

int RunExport(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  if (!s.Parse(args, {}, 2, 2, &p, &status)) return status;
  const std::string& name = p.operands()[0];
  const std::string& path = p.operands()[1];
  status = s.OpenHandheld();
  if (status != kExitOk) return status;
  Handheld& handheld = s.handheld();
  std::unique_ptr<HandheldDatabase> db;
  std::string error;
  const Result loaded = handheld.LoadDatabase(name, &db, &error);
  if (loaded == kSyncErrNotFound) return s.Fail("the handheld holds no database named \"" + name + "\"");
  if (loaded != kSyncErrNone) return s.Fail(name + ": " + error);
  if (PdbWriter::WriteFile(path, db->ToFile(), &error) != kOk) return s.Fail(path + ": " + error);
  return kExitOk;
}

int RunDatabases(Session& s, const std::vector<std::string>& args) {
  ArgumentParser p;
  int status = kExitOk;
  if (!s.Parse(args, {}, 0, 0, &p, &status)) return status;
  status = s.OpenHandheld();
  if (status != kExitOk) return status;
  Handheld& handheld = s.handheld();
  for (const std::string& name : handheld.DatabaseNames()) {
    PdbHeader header;
    std::string error;
    if (PdbReader::ReadHeader(handheld.DatabasePath(name), &header, &error) != kOk) {
      s.out() << name << "  (cannot be read: " << error << ")\n";
      continue;
    }
    s.out() << name << "  creator " << FourCcText(header.creator) << "  type " << FourCcText(header.type)
            << ((header.attributes & kPdbAttrResourceDb) ? "  resources" : "") << "\n";
  }
  return kExitOk;
}

// --- The command table and help ---

struct Command {
  const char* name;
  const char* synopsis;  // the arguments, for the overview and the usage line
  const char* summary;
  const char* details;
  int (*run)(Session&, const std::vector<std::string>&);
};

constexpr Command kCommands[] = {
    {"init", "--user NAME [--user-id N]", "make an emulated handheld in DIR",
     "Makes DIR (when missing) an emulated handheld: writes DIR/handheld.ini with the\n"
     "HotSync user name (at most 40 bytes) and user id (0 to 4294967295; 0, the default,\n"
     "means the handheld has not been synchronized yet). Refused when DIR already holds one.\n",
     RunInit},
    {"create-db", "[--password] [--hint TEXT]", "create the memo database (DIR/TallimorDB.pdb)",
     "Creates the memo database TallimorDB (creator Tlmr, type DATA) holding only the\n"
     "category Unfiled. With --password the memos are protected: the password is read\n"
     "(see PASSWORD below), its MD5 digest and the hint (--hint, at most 255 bytes) are\n"
     "stored, and every memo is enciphered with it. Refused when the database exists.\n",
     RunCreateDb},
    {"password", "[--hint TEXT] | --remove", "set, change or remove the password",
     "Sets a new password, asking for the current one first when there is one. Every\n"
     "memo is enciphered anew and marked changed, so the next HotSync carries it to the\n"
     "desktop. --hint TEXT stores a new hint (without --hint the old one is kept).\n"
     "--remove takes the password and the hint away and stores the memos plain.\n"
     "When standard input is not a terminal, its first line is the current password\n"
     "(if one is set) and the next line the new one.\n",
     RunPassword},
    {"add", "[--category INDEX] [--private] TEXT", "add a memo; prints its id",
     "Adds a memo with TEXT (line ends as typed; CR LF becomes LF) in category INDEX\n"
     "(default 0, Unfiled), private with --private. It is marked changed (dirty) for\n"
     "the next HotSync. Prints the unique id the handheld gave it.\n",
     RunAdd},
    {"edit", "ID TEXT", "replace the text of a memo",
     "Replaces the text of memo ID and marks it changed (nothing happens when the\n"
     "text is the same). A deleted memo cannot be edited.\n",
     RunEdit},
    {"delete", "ID [--archive]", "delete a memo",
     "Deletes memo ID as the handheld does: it stays in the database, marked deleted\n"
     "and changed, until the next HotSync removes it on both sides. Its text is dropped;\n"
     "with --archive it is kept and the memo marked archived, so that the HotSync\n"
     "keeps a copy in the desktop's archive.\n",
     RunDelete},
    {"private", "ID on|off", "make a memo private or public",
     "Sets (on) or clears (off) the private attribute of memo ID and marks it changed.\n", RunPrivate},
    {"move", "ID INDEX", "move a memo to another category",
     "Moves memo ID to the category at INDEX (0 to 15; it must exist) and marks it changed.\n", RunMove},
    {"show", "ID", "print the text of a memo", "Prints the text of memo ID, deciphered, as UTF-8.\n", RunShow},
    {"list", "[--json]", "list the memos",
     "Lists every record of the memo database in database order, deleted ones included,\n"
     "with the memo text deciphered as UTF-8. --json prints one array:\n"
     "  [{\"id\", \"index\", \"category\", \"attributes\", \"text\"}]\n"
     "where \"category\" is the category index (0 for a deleted memo, which keeps none) and\n"
     "\"attributes\" the attribute byte as the Sync Manager reports it: 0x80 deleted,\n"
     "0x40 changed (dirty), 0x20 busy, 0x10 private, 0x08 archived (with 0x80).\n",
     RunList},
    {"category", "add NAME | rename INDEX NAME | delete INDEX | list [--json]", "manage the categories",
     "add NAME        adds a category at the lowest free index 1 to 15; prints the index\n"
     "rename INDEX NAME\n"
     "                renames a category\n"
     "delete INDEX    deletes a category; its memos move to Unfiled and are marked changed\n"
     "list [--json]   lists the categories: index, id, name and whether it is marked renamed\n"
     "                ([{\"index\", \"id\", \"name\", \"renamed\"}] with --json)\n"
     "Names are at most 15 bytes in code page 932 (a Japanese character takes 2) and\n"
     "must differ from every other name, letter case ignored. Unfiled (index 0) can be\n"
     "neither renamed nor deleted. Added and renamed categories are marked renamed until\n"
     "the next HotSync; a category added here gets an id from 1 to 127 (the desktop's\n"
     "own start at 128).\n",
     RunCategory},
    {"import", "FILE [--replace]", "install a .pdb file on the handheld",
     "Installs the Palm database FILE on the handheld as DIR/<its name>.pdb, after\n"
     "reading it whole; prints the database name. A database of that name is replaced\n"
     "only with --replace.\n",
     RunImport},
    {"export", "NAME FILE", "copy a database of the handheld to a .pdb file",
     "Writes the database NAME of the handheld (e.g. TallimorDB) to FILE, replacing FILE\n"
     "atomically.\n",
     RunExport},
    {"databases", "", "list the databases of the handheld",
     "Lists the databases of the handheld with their creator and type.\n", RunDatabases},
};

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

constexpr char kTextsAndPassword[] =
    "Texts (memos, category names, the hint) are taken as UTF-8 and stored in code\n"
    "page 932, as the handheld stores them; a text that code page 932 cannot hold is\n"
    "refused. Memo ids are decimal or 0x-hexadecimal; category indexes are 0 to 15.\n"
    "\n"
    "PASSWORD: when the memo database is protected, commands that read or write memo\n"
    "text (add, edit, show, list, password) ask for the password. It is never taken\n"
    "from the command line: it is read from the terminal with echo off, or from the\n"
    "first line of standard input when that is not a terminal. A new password has 1 to\n"
    "16 characters and is typed twice on a terminal.\n"
    "\n"
    "Every change is written to the database file atomically, and only when the whole\n"
    "command succeeded.\n"
    "Exit status: 0 success, 1 the command failed, 2 wrong command line, 3 wrong or\n"
    "unreadable password.\n";

}  // namespace

bool IsHandheldCommand(const std::string& name) { return FindCommand(name) != nullptr; }

void WriteHandheldHelp(std::ostream& out) {
  out << "Usage: " << kHandheldProgram << " --handheld DIR COMMAND [ARGUMENTS]\n"
      << "Acts on an emulated handheld as the handheld memo application does, so that the\n"
         "next HotSync finds the changes a handheld would have made. The handheld is the\n"
         "directory DIR: its identity in DIR/handheld.ini and its databases as\n"
         "DIR/<database name>.pdb (a .pdb copied there is part of the handheld).\n"
         "\n"
         "Commands:\n";
  for (const Command& command : kCommands) {
    std::string line = std::string("  ") + command.name + " " + command.synopsis;
    if (line.size() < 40) {
      line.resize(40, ' ');
      out << line << command.summary << "\n";
    } else {
      out << line << "\n" << std::string(40, ' ') << command.summary << "\n";
    }
  }
  out << "\n"
      << "Options:\n"
         "  --handheld DIR   the emulated handheld (required for every command)\n"
         "  --help           show this help; COMMAND --help shows the help of a command\n"
         "  --version        show the version\n"
         "\n"
      << kTextsAndPassword;
}

bool WriteHandheldCommandHelp(const std::string& name, std::ostream& out) {
  const Command* command = FindCommand(name);
  if (command == nullptr) return false;
  out << "Usage: " << kHandheldProgram << " --handheld DIR " << command->name
      << (command->synopsis[0] ? " " : "") << command->synopsis << "\n"
      << static_cast<char>(std::toupper(static_cast<unsigned char>(command->summary[0]))) << (command->summary + 1)
      << ".\n\n"
      << command->details << "\n"
      << kTextsAndPassword;
  return true;
}

int RunHandheldCommand(const std::string& directory, const std::vector<std::string>& words, std::ostream& out,
                       std::ostream& err) {
  const Command* command = words.empty() ? nullptr : FindCommand(words[0]);
  if (command == nullptr) {
    err << kHandheldProgram << ": " << (words.empty() ? "no command given" : "unknown command '" + words[0] + "'")
        << "\nTry '" << kHandheldProgram << " --help' for more information.\n";
    return kExitUsage;
  }
  const std::vector<std::string> args(words.begin() + 1, words.end());
  if (ArgumentParser::WantsHelp(args)) {
    WriteHandheldCommandHelp(command->name, out);
    return kExitOk;
  }
  Session session(directory, command->name, out, err);
  if (directory.empty()) return session.Usage("--handheld DIR is required");
  return command->run(session, args);
}

}  // namespace tallimor
