// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The users file under hand edits and kills, through the real `hotsync`: Hanako has
// synchronized once; her entry in users.ini is then edited by hand in one of many
// ways, the desktop saves her last category, and a second handheld, Taro's, has its
// first HotSync, then Hanako's handheld again. Whatever the edit, no memo may land in
// the other user's record.dat, no user directory may be left without its entry, and
// the lines of the edited file must survive the rewrites. An edit that stops Hanako
// (or a file that cannot be read at all) must stop her HotSync with the file and line
// named; once the edit is undone, she synchronizes into her own directory again.
// Runs of the first HotSync killed before the user's directory exists come last.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "hotsync/users/UserData.h"
#include "hotsync/users/UsersDocument.h"
#include "tests/reliability/MemoSides.h"
#include "tests/reliability/Tally.h"
#include "tests/reliability/World.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;

const char* const kHanakoFirst = "Hanako's first memo";
const char* const kHanakoSecond = "Hanako's second memo";
const char* const kTaroFirst = "Taro's first memo";

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// What an edit does to Hanako.
enum class Outcome {
  kKept,        // she synchronizes as before
  kStopped,     // her entry cannot be used: her HotSync stops until the edit is undone
  kUnreadable,  // the file cannot be read: every HotSync stops until it is
};

struct HandEdit {
  const char* what;
  std::string from;  // replaced by `to`, once; empty: `to` is added at the end
  std::string to;
  Outcome outcome;
  std::function<std::string(const std::string&)> whole;  // instead, for edits of every line
};

const std::vector<HandEdit> kEdits = {
    {"directory with a slash", "Directory=SatoH", "Directory=Sato/H", Outcome::kStopped, {}},
    {"no name", "Name=Hanako Sato\n", "", Outcome::kKept, {}},
    {"empty name", "Name=Hanako Sato\n", "Name=\n", Outcome::kKept, {}},
    {"empty directory", "Directory=SatoH", "Directory=", Outcome::kStopped, {}},
    {"same id twice, two directories", "", "\n[User 1]\nName=Hanako Sato\nDirectory=Hanako\n",
     Outcome::kStopped, {}},
    {"same section twice", "", "\n[User 1]\nName=Hanako Sato\nDirectory=SatoH\n", Outcome::kKept, {}},
    {"id that is no number", "[User 1]\n", "[User one]\n", Outcome::kStopped, {}},
    {"id on an Id line only", "[User 1]\n", "[User]\nId=1\n", Outcome::kStopped, {}},
    {"section line without ]", "[User 1]\n", "[User 1\n", Outcome::kStopped, {}},
    {"unknown keys and sections", "[User 1]\n", "[Later]\nKey=1\n\n[User 1]\nColour=blue\n", Outcome::kKept,
     {}},
    {"comments", "[User 1]\n", "; Hanako's handheld\n[User 1]   # since May\n", Outcome::kKept, {}},
    {"garbage lines", "Name=Hanako Sato\n", "Name=Hanako Sato\nthis line means nothing\n][\n",
     Outcome::kKept, {}},
    {"lower case and spaces", "[User 1]\n", "[ user 1 ]\n", Outcome::kKept, {}},
    {"record of the highest id dropped", "[Users]\nHighestId=1\n", "", Outcome::kKept, {}},
    {"CR LF line ends", "", "", Outcome::kKept, Crlf},
    {"byte order mark", "", "", Outcome::kKept, [](const std::string& t) { return "\xEF\xBB\xBF" + t; }},
    {"binary garbage", "", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), Outcome::kUnreadable, {}},
    {"a line too long", "", "# " + std::string(6000, '=') + "\n", Outcome::kUnreadable, {}},
};

// The texts of a side's live memos, in their sorted order.
std::vector<std::string> Texts(const SideMemos& side) {
  std::vector<std::string> texts;
  for (const Memo& memo : side.live) texts.push_back(memo.text);
  return texts;
}

class UsersFileEdits : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    PrepareEnvironment();
    base_ = testing::TempDir("reliability-users").Release();
    const std::string dir = base_ + "/template";
    fs::create_directories(dir);
    std::string error;
    ready_ = MakeHandheld(dir + "/hanako", "Hanako Sato", kHanakoFirst, &error) &&
             MakeHandheld(dir + "/taro", "Taro Yamada", kTaroFirst, &error) &&
             Sync(dir, "hanako", &error);
    ASSERT_TRUE(ready_) << error;
    // The desktop program keeps her last category in the users file.
    ASSERT_EQ(UserData(dir + "/root").WriteValue(1, "Tallimore-Vexa", "LastCategory", 2), kOk);
  }
  static void TearDownTestSuite() {
    testing::TempDir::RemoveTree(base_);
    const Tally& tally = Group(kGroup);
    std::printf("reliability: users file trials %ld, survived %ld, users mixed %ld, orphaned %ld\n",
                tally.trials, tally.survived, mixed_, orphaned_);
    std::fflush(stdout);
  }

  static ChildResult Handheld(const std::string& handheld, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--handheld", handheld});
    return Subprocess::Run(TALLIMOR_HANDHELD_PROGRAM, arguments, std::string(kPassword) + "\n");
  }
  static bool MakeHandheld(const std::string& handheld, const std::string& user, const std::string& memo,
                           std::string* error) {
    return Step(Handheld(handheld, {"init", "--user", user}), "init", error) &&
           Step(Handheld(handheld, {"create-db", "--password", "--hint", "pet"}), "create-db", error) &&
           Step(Handheld(handheld, {"add", memo}), "add", error);
  }
  static ChildResult HotSync(const std::string& dir, const std::string& handheld) {
    return Subprocess::Run(TALLIMOR_HOTSYNC_PROGRAM, {"--root", dir + "/root", "sync", "--handheld",
                                                          dir + "/" + handheld, "--action", "fast"});
  }
  static bool Sync(const std::string& dir, const std::string& handheld, std::string* error) {
    return Step(HotSync(dir, handheld), "the HotSync of " + handheld, error);
  }

  std::string Trial(const std::string& name) {
    const std::string dir = base_ + "/" + name;
    fs::remove_all(dir);
    fs::copy(base_ + "/template", dir, fs::copy_options::recursive);
    return dir;
  }

  // Memos in a user's record.dat that belong to the other user.
  static long MixedMemos(const std::string& dir, const std::string& hanakoDirectory, std::string* report) {
    long mixed = 0;
    for (const auto& entry : fs::directory_iterator(dir + "/root")) {
      const std::string record = entry.path().string() + "/Tallimor-Vexa/record.dat";
      if (!entry.is_directory() || !fs::exists(record)) continue;
      const bool hers = entry.path().filename() == hanakoDirectory;
      const SideMemos memos = ReadDesktopMemos(record, Keyring{});
      if (!memos.ok) *report += memos.error + "\n";
      for (const Memo& memo : memos.live) {
        const std::string& text = memo.text;
        if ((text.rfind("Hanako", 0) == 0) != hers) {
          ++mixed;
          *report += "\"" + text + "\" is in " + record + "\n";
        }
      }
    }
    return mixed;
  }
  // Directories of the root that no Directory line of the users file names.
  static long OrphanedDirectories(const std::string& dir, std::string* report) {
    const std::string text = ReadText(dir + "/root/users.ini");
    long orphaned = 0;
    for (const auto& entry : fs::directory_iterator(dir + "/root")) {
      if (!entry.is_directory()) continue;
      const std::string name = entry.path().filename().string();
      const std::size_t at = text.find("Directory=" + name);
      const std::size_t end = at + 10 + name.size();
      if (at == std::string::npos || (end < text.size() && text[end] != '\r' && text[end] != '\n')) {
        ++orphaned;
        *report += "the directory " + name + " has no entry\n";
      }
    }
    return orphaned;
  }
  // Lines of `before` missing from `after`, in order; the values of the keys the
  // programs set may change.
  static std::vector<std::string> LinesLost(const std::string& before, const std::string& after) {
    auto lines = [](const std::string& text) {
      std::vector<std::string> out;
      std::istringstream in(text);
      for (std::string line; std::getline(in, line);) {
        if (line.rfind("LastCategory=", 0) == 0 || line.rfind("HighestId=", 0) == 0) {
          line.erase(line.find('=') + 1);
        }
        out.push_back(line);
      }
      return out;
    };
    const std::vector<std::string> kept = lines(after);
    std::vector<std::string> lost;
    std::size_t at = 0;
    for (const std::string& line : lines(before)) {
      std::size_t found = at;
      while (found < kept.size() && kept[found] != line) ++found;
      if (found == kept.size()) {
        lost.push_back(line);
      } else {
        at = found + 1;
      }
    }
    return lost;
  }

  // Counts a trial; true when it survived.
  static bool Count(bool ok, long mixed, long orphaned) {
    Tally& tally = Group(kGroup);
    ++tally.trials;
    tally.counts.lost += mixed + orphaned;  // a mixed or orphaned user is a lost one
    if (!ok) ++tally.counts.notConverged;
    mixed_ += mixed;
    orphaned_ += orphaned;
    const bool survived = ok && mixed == 0 && orphaned == 0;
    if (survived) ++tally.survived;
    return survived;
  }

  static constexpr const char* kGroup = "users file, hand edits and kills";
  static std::string base_;
  static bool ready_;
  static long mixed_;
  static long orphaned_;
};

std::string UsersFileEdits::base_;
bool UsersFileEdits::ready_ = false;
long UsersFileEdits::mixed_ = 0;
long UsersFileEdits::orphaned_ = 0;

TEST_F(UsersFileEdits, NoEditMixesUsersOrOrphansOne) {
  ASSERT_TRUE(ready_);
  for (const HandEdit& edit : kEdits) {
    SCOPED_TRACE(edit.what);
    const std::string dir = Trial("edit");
    const std::string usersFile = dir + "/root/users.ini";
    const std::string original = ReadText(usersFile);
    ASSERT_TRUE(edit.whole || edit.from.empty() || original.find(edit.from) != std::string::npos);
    const std::string edited = edit.whole        ? edit.whole(original)
                               : edit.from.empty() ? original + edit.to
                                                   : Replace(original, edit.from, edit.to);
    WriteText(usersFile, edited);
    bool ok = true;
    std::string report;

    // The desktop saves her last category, as it does when she leaves the program.
    const Result saved = UserData(dir + "/root").WriteValue(1, "Tallimore-Vexa", "LastCategory", 3);
    ok &= (saved == kOk) == (edit.outcome == Outcome::kKept);

    // Taro's first HotSync, then Hanako's next one with a memo she added.
    const ChildResult taro = HotSync(dir, "taro");
    ok &= (taro.status == 0) == (edit.outcome != Outcome::kUnreadable);
    std::string error;
    ok &= Step(Handheld(dir + "/hanako", {"add", kHanakoSecond}), "add", &error);
    const ChildResult hanako = HotSync(dir, "hanako");
    ok &= (hanako.status == 0) == (edit.outcome == Outcome::kKept);
    if (edit.outcome != Outcome::kKept) {
      // Stopped with the file and the line to look at, and the file left as it was.
      const std::string& said = edit.outcome == Outcome::kUnreadable ? taro.err : hanako.err;
      ok &= said.find(usersFile + ", line ") != std::string::npos;
      if (said.find(usersFile + ", line ") == std::string::npos) report += "no line named: " + said;
    }
    if (edit.outcome == Outcome::kUnreadable) ok &= ReadText(usersFile) == edited;
    const std::vector<std::string> lost = LinesLost(edited, ReadText(usersFile));
    ok &= lost.empty();
    for (const std::string& line : lost) report += "line lost: " + line + "\n";

    // Taro never gets her id or her directory.
    UsersDocument document;
    UsersFileFault fault;
    if (document.Read(ReadText(usersFile), &fault) == kOk) {
      for (const HotSyncUser& user : document.users()) {
        if (user.name == "Taro Yamada") ok &= user.id != 1 && user.directory != "SatoH";
      }
    }
    long mixed = MixedMemos(dir, "SatoH", &report);
    // While her entry is stopped nobody uses her directory; no other may appear.
    long orphaned = 0;
    for (const auto& entry : fs::directory_iterator(dir + "/root")) {
      const std::string name = entry.path().filename().string();
      if (entry.is_directory() && name != "SatoH" && name != "YamadaT") {
        ++orphaned;
        report += "a directory of nobody's: " + name + "\n";
      }
    }

    // Undone by hand: she synchronizes into her own directory again, Taro too.
    if (edit.outcome != Outcome::kKept && !edit.whole) {
      WriteText(usersFile, Replace(ReadText(usersFile), edit.to, edit.from));
      ok &= Step(HotSync(dir, "hanako"), "her HotSync after the undo", &error);
      ok &= Step(HotSync(dir, "taro"), "his HotSync after the undo", &error);
      mixed += MixedMemos(dir, "SatoH", &report);
    }
    orphaned += OrphanedDirectories(dir, &report);
    if (edit.outcome == Outcome::kKept || !edit.whole) {
      const SideMemos hers = ReadDesktopMemos(dir + "/root/SatoH/Tallimor-Vexa/record.dat", Keyring{});
      ok &= hers.ok && Texts(hers) == std::vector<std::string>({kHanakoFirst, kHanakoSecond});
    }
    if (!Count(ok, mixed, orphaned)) {
      ADD_FAILURE() << edit.what << ":\n" << report << error << "\nTaro: " << taro.err << "\nHanako: "
                    << hanako.err << "\n" << ReadText(usersFile);
    }
  }
}

// The first HotSync of a new handheld killed at the point where its user's entry is
// written and the directory is not yet made, and at random moments: the next HotSync
// must use the entry, make the directory, and leave no other directory behind.
void KillAtEntry(const char* point) {
  if (std::strcmp(point, "entry-written") == 0) ::raise(SIGKILL);
}

TEST_F(UsersFileEdits, AKilledFirstHotSyncLeavesNoDirectoryWithoutItsUser) {
  ASSERT_TRUE(ready_);
  std::mt19937_64 random = Generator("users file kills");
  // How long a first HotSync takes, only to spread the kills over it.
  const auto started = std::chrono::steady_clock::now();
  std::string error;
  ASSERT_TRUE(Step(HotSync(Trial("kill"), "taro"), "a first HotSync", &error)) << error;
  const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  const int kills = 1 + 4 * Scale();
  for (int trial = 0; trial < kills; ++trial) {
    SCOPED_TRACE("kill " + std::to_string(trial));
    const std::string dir = Trial("kill");
    std::string report;
    if (trial == 0) {
      // At the named point, through the library the HotSync program uses.
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        UserData::SetPointHook(KillAtEntry);
        HotSyncUser user;
        UserData(dir + "/root").AddUser("Taro Yamada", 0, &user);
        ::_exit(0);
      }
      ASSERT_EQ(Subprocess::WaitForPid(child), 128 + SIGKILL);
      EXPECT_FALSE(fs::exists(dir + "/root/YamadaT"));
    } else {
      // Anywhere in the real program's run.
      Subprocess hotsync = Subprocess::Start(
          TALLIMOR_HOTSYNC_PROGRAM,
          {"--root", dir + "/root", "sync", "--handheld", dir + "/taro", "--action", "fast"});
      std::this_thread::sleep_for(std::chrono::microseconds(
          static_cast<long>(random() % static_cast<std::uint64_t>(runTime.count() + 1))));
      hotsync.Kill(SIGKILL);
    }
    long orphaned = OrphanedDirectories(dir, &report);  // right after the kill too
    bool ok = Step(HotSync(dir, "taro"), "the HotSync after the kill", &error) &&
              Step(HotSync(dir, "hanako"), "her HotSync", &error);
    orphaned += OrphanedDirectories(dir, &report);
    const SideMemos his = ReadDesktopMemos(dir + "/root/YamadaT/Tallimor-Vexa/record.dat", Keyring{});
    ok &= his.ok && Texts(his) == std::vector<std::string>{kTaroFirst};
    const long mixed = MixedMemos(dir, "SatoH", &report);
    if (!Count(ok, mixed, orphaned)) {
      ADD_FAILURE() << report << error << his.error << "\n" << ReadText(dir + "/root/users.ini");
    }
  }
}

}  // namespace
}  // namespace tallimor::reliability
