// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the users file as lines: every kind of hand edit a user may make, each
// read, changed the way the programs change the file (a per-user value, a new user)
// and read again. Whatever the edit, the rewrite keeps every line it did not change,
// and no id or directory that the edited file names goes to the new user.
#include "hotsync/users/UsersDocument.h"

#include <gtest/gtest.h>

#include <functional>

#include "hotsync/users/UsersResults.h"

namespace tallimor {
namespace {

// A file as the library writes it: two users, one with a value, and the record of
// the highest id.
const std::string kBase =
    "# Tallimor HotSync users\n"
    "[Users]\n"
    "HighestId=2\n"
    "\n"
    "[User 1]\n"
    "Name=Hanako Sato\n"
    "Directory=SatoH\n"
    "\n"
    "[User 1 Tallimore-Vexa]\n"
    "LastCategory=3\n"
    "\n"
    "[User 2]\n"
    "Name=Taro Yamada\n"
    "Directory=YamadaT\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return lines;
}

// The lines of `before` that `after` lacks, in order, as a subsequence; a last line
// without its line end may gain one.
std::vector<std::string> LinesLost(const std::string& before, const std::string& after) {
  const std::vector<std::string> kept = Lines(after);
  std::vector<std::string> lost;
  std::size_t next = 0;
  for (const std::string& line : Lines(before)) {
    std::size_t at = next;
    while (at < kept.size() && kept[at] != line &&
           !(line.back() != '\n' && kept[at].substr(0, line.size()) == line &&
             kept[at].size() <= line.size() + 2 && kept[at].back() == '\n')) {
      ++at;
    }
    if (at == kept.size()) {
      lost.push_back(line);
    } else {
      next = at + 1;
    }
  }
  return lost;
}

std::string AllCrlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

struct HandEdit {
  const char* what;
  std::function<std::string(const std::string&)> edit;
  std::uint32_t unusableId;  // the user the edit stops (0: none), who stays in the file
  const char* reason;        // part of the reason given for it
  const char* directory;     // a directory the edited file names, never given to another
};

const std::vector<HandEdit> kHandEdits = {
    {"directory with a slash", [](auto t) { return Replace(t, "Directory=SatoH", "Directory=Sato/H"); },
     1, "is not a single folder name", "Sato/H"},
    {"dot-dot directory", [](auto t) { return Replace(t, "Directory=SatoH", "Directory=.."); }, 1,
     "is not a single folder name", "YamadaT"},
    {"empty directory", [](auto t) { return Replace(t, "Directory=SatoH", "Directory="); }, 1,
     "is not a single folder name", "YamadaT"},
    {"no directory line", [](auto t) { return Replace(t, "Directory=SatoH\n", ""); }, 1,
     "has no Directory line", "YamadaT"},
    {"missing name", [](auto t) { return Replace(t, "Name=Hanako Sato\n", ""); }, 0, "", "SatoH"},
    {"empty name", [](auto t) { return Replace(t, "Name=Hanako Sato", "Name="); }, 0, "", "SatoH"},
    {"same id again with another directory",
     [](auto t) { return t + "\n[User 1]\nName=Hanako Sato\nDirectory=Hanako\n"; }, 1,
     "names two directories", "hanako"},
    {"same id again, same entry", [](auto t) { return t + "\n[User 1]\nDirectory=SatoH\n"; }, 0, "",
     "SatoH"},
    {"id that is no number", [](auto t) { return Replace(t, "[User 1]", "[User one]"); }, 1,
     "gives no user id", "SatoH"},
    {"id out of range", [](auto t) { return Replace(t, "[User 1]", "[User 4294967295]"); }, 1,
     "gives no user id", "SatoH"},
    {"id only on an Id line", [](auto t) { return Replace(t, "[User 1]", "[User]\nId=1"); }, 1,
     "gives no user id", "SatoH"},
    {"Id line that disagrees", [](auto t) { return Replace(t, "[User 1]", "[User 1]\nId=7"); }, 1,
     "says 7", "SatoH"},
    {"section line without ]", [](auto t) { return Replace(t, "[User 1]", "[User 1"); }, 1,
     "lacks the closing ]", "SatoH"},
    {"section line with words after it", [](auto t) { return Replace(t, "[User 1]", "[User 1] Hanako"); },
     1, "lacks the closing ]", "SatoH"},
    {"section line with a comment after it",
     [](auto t) { return Replace(t, "[User 1]", "[User 1]   ; Hanako's handheld"); }, 0, "", "SatoH"},
    {"lower case and spaces in section lines",
     [](auto t) { return Replace(t, "[User 1]", "[ user 1 ]"); }, 0, "", "SatoH"},
    {"keys in other cases", [](auto t) { return Replace(t, "Directory=SatoH", "DIRECTORY = SatoH"); }, 0,
     "", "SatoH"},
    {"unknown keys and sections",
     [](auto t) {
       return Replace(t, "Name=Hanako Sato", "Name=Hanako Sato\nColour=blue") + "\n[Future Things]\nKey=1\n";
     },
     0, "", "SatoH"},
    {"comments",
     [](auto t) { return Replace(t, "[User 1]", "; her old handheld\n[User 1]\n# moved in May"); }, 0, "",
     "SatoH"},
    {"garbage lines",
     [](auto t) { return Replace(t, "Name=Hanako Sato", "Name=Hanako Sato\nnot a key at all\n]["); }, 0, "",
     "SatoH"},
    {"a value that is no number", [](auto t) { return Replace(t, "LastCategory=3", "LastCategory=three"); },
     0, "", "SatoH"},
    {"directory of an earlier user in another case",
     [](auto t) { return Replace(t, "Directory=YamadaT", "Directory=satoh"); }, 2,
     "is the directory of user id 1 already", "SatoH"},
    {"CR LF line ends", [](auto t) { return AllCrlf(t); }, 0, "", "SatoH"},
    {"byte order mark", [](auto t) { return "\xEF\xBB\xBF" + t; }, 0, "", "SatoH"},
    {"no line end at the end", [](auto t) { return t.substr(0, t.size() - 1); }, 0, "", "SatoH"},
    {"UTF-8 typed straight in", [](auto t) { return "# \xE5\xB1\xB1\xE7\x94\xB0\n" + t; }, 0, "",
     "SatoH"},
};

TEST(UsersHandEdits, EveryKindIsReadKeptWholeAndReservesItsIdAndDirectory) {
  for (const HandEdit& edit : kHandEdits) {
    SCOPED_TRACE(edit.what);
    const std::string edited = edit.edit(kBase);
    UsersDocument document;
    UsersFileFault fault;
    ASSERT_EQ(document.Read(edited, &fault), kOk) << fault.reason;
    EXPECT_EQ(document.Text(), edited);  // read and written again unchanged

    for (std::uint32_t id : {1u, 2u}) EXPECT_EQ(document.Find(id) == nullptr, id == edit.unusableId);
    if (edit.unusableId != 0) {
      ASSERT_EQ(document.unusable().size(), 1u);
      const UnusableEntry& entry = document.unusable()[0];
      EXPECT_NE(entry.reason.find(edit.reason), std::string::npos) << entry.reason;
      EXPECT_EQ(entry.name, edit.unusableId == 1 ? "Hanako Sato" : "Taro Yamada");
      // The entry is found by its id where one can be made out, else by its name.
      EXPECT_TRUE(document.UnusableWithId(edit.unusableId) == &entry ||
                  (!entry.hasId && document.UnusableWithName(entry.name) == &entry));
      // Its values stay in the file, but nobody can be given them.
      EXPECT_EQ(document.SetValue(edit.unusableId, {"Tallimore-Vexa", "LastCategory", 4}),
                kUsersErrUnknownUser);
    } else {
      EXPECT_TRUE(document.unusable().empty());
    }

    // A new id is above every id the file has held, whatever the edit did to user 1.
    EXPECT_EQ(document.NewId(), std::string(edit.what) == "Id line that disagrees" ? 8u : 3u);
    EXPECT_TRUE(document.DirectoryTaken(edit.directory));

    // The programs' changes: the desktop keeps Hanako's last category, a new user comes.
    const std::uint32_t usable = edit.unusableId == 1 ? 2 : 1;
    ASSERT_EQ(document.SetValue(usable, {"Tallimore-Vexa", "LastCategory", 5}), kOk);
    const std::uint32_t newId = document.NewId();
    document.AddUser(HotSyncUser{newId, "Jiro Suzuki", "SuzukiJ", {}});
    const std::string rewritten = document.Text();
    const std::vector<std::string> lost = LinesLost(edited, rewritten);
    // Only the value line that was changed and the record of the highest id are gone.
    EXPECT_LE(lost.size(), 2u) << rewritten;
    for (const std::string& line : lost) {
      EXPECT_TRUE(line.starts_with("LastCategory=") || line.starts_with("HighestId=2")) << line;
    }

    UsersDocument again;
    ASSERT_EQ(again.Read(rewritten, &fault), kOk) << fault.reason;
    EXPECT_EQ(again.Text(), rewritten);
    EXPECT_EQ(again.users().size(), document.users().size());
    EXPECT_EQ(again.unusable().size(), document.unusable().size());
    const HotSyncUser* jiro = again.Find(newId);
    ASSERT_NE(jiro, nullptr) << rewritten;
    EXPECT_EQ(jiro->directory, "SuzukiJ");
    ASSERT_EQ(again.Find(usable)->values.size(), 1u);
    EXPECT_EQ(again.Find(usable)->values[0].value, 5);
    EXPECT_GE(again.NewId(), newId + 1);
    // New lines follow the file's own line ends.
    if (edited.find("\r\n") != std::string::npos) {
      EXPECT_NE(rewritten.find("[User " + std::to_string(newId) + "]\r\nName=Jiro Suzuki\r\n"),
                std::string::npos);
      std::string bare = rewritten;
      std::erase(bare, '\r');
      EXPECT_EQ(AllCrlf(bare), rewritten);
    }
  }
}

TEST(UsersHandEdits, AMangledIdStillReservesTheIdItShows) {
  UsersDocument document;
  UsersFileFault fault;
  ASSERT_EQ(document.Read("[User 12x]\nName=a\nDirectory=A\n[User 0x40 S]\nk=1\n", &fault), kOk);
  EXPECT_TRUE(document.users().empty());
  ASSERT_NE(document.UnusableWithId(12), nullptr);
  EXPECT_EQ(document.NewId(), 13u);
  // A file written before the highest id was recorded: the ids it names count.
  ASSERT_EQ(document.Read("[User 4 S]\nk=1\n[User 2]\nName=b\nDirectory=B\n", &fault), kOk);
  EXPECT_EQ(document.NewId(), 5u);
}

TEST(UsersHighestId, ARemovedUsersIdIsNotHandedOutAgain) {
  UsersDocument document;
  UsersFileFault fault;
  ASSERT_EQ(document.Read("# users\n\n[User 1]\nName=a\nDirectory=A\n", &fault), kOk);
  document.AddUser(HotSyncUser{document.NewId(), "b", "B", {}});
  // The record goes before the first section, where a reader that knows no [Users]
  // section passes over it.
  EXPECT_EQ(document.Text(),
            "# users\n\n[Users]\nHighestId=2\n\n[User 1]\nName=a\nDirectory=A\n"
            "\n[User 2]\nName=b\nDirectory=B\n");
  // The user removes user 2 by hand; the record still knows of id 2.
  std::string text = document.Text();
  text.erase(text.find("\n[User 2]"));
  ASSERT_EQ(document.Read(text + "\n", &fault), kOk);
  EXPECT_EQ(document.NewId(), 3u);
  // Values of a user keep the record up: it is raised, never lowered.
  ASSERT_EQ(document.Read("[Users]\nHighestId=9\n[User 10]\nName=a\nDirectory=A\n", &fault), kOk);
  ASSERT_EQ(document.SetValue(10, {"S", "K", 1}), kOk);
  EXPECT_EQ(document.Text(), "[Users]\nHighestId=10\n[User 10]\nName=a\nDirectory=A\n\n[User 10 S]\nK=1\n");
  ASSERT_EQ(document.Read("[Users]\nHighestId=50\n[User 10]\nName=a\nDirectory=A\n", &fault), kOk);
  EXPECT_EQ(document.NewId(), 51u);
  ASSERT_EQ(document.SetValue(10, {"S", "K", 1}), kOk);
  EXPECT_NE(document.Text().find("HighestId=50\n"), std::string::npos);
}

TEST(UsersHighestId, WhenTheTopIdIsTakenTheLowestNeverNamedIdIsUsed) {
  UsersDocument document;
  UsersFileFault fault;
  ASSERT_EQ(document.Read("[User 4294967294]\nName=a\nDirectory=A\n[User 1 S]\nk=1\n[User 3]\n", &fault), kOk);
  EXPECT_EQ(document.NewId(), 2u);
}

TEST(UsersValueLines, AChangedValueKeepsItsKeyAndSpacingAndANewOneJoinsItsSection) {
  UsersDocument document;
  UsersFileFault fault;
  const std::string text =
      "[User 5]\nName=a\nDirectory=A\n; values\n[User 5 S]\n  K  =  +1  ; kept?\nL=2\n\n# next\n[User 6]\n"
      "Name=b\nDirectory=B\n";
  ASSERT_EQ(document.Read(text, &fault), kOk);
  // "+1  ; kept?" is no number: the line is still the one that holds K.
  ASSERT_EQ(document.SetValue(5, {"S", "K", -4}), kOk);
  ASSERT_EQ(document.SetValue(5, {"S", "M", 7}), kOk);
  ASSERT_EQ(document.SetValue(6, {"T", "N=x", 8}), kOk);
  EXPECT_EQ(document.Text(),
            "[Users]\nHighestId=6\n\n"
            "[User 5]\nName=a\nDirectory=A\n; values\n[User 5 S]\n  K  =  -4\nL=2\nM=7\n\n# next\n[User 6]\n"
            "Name=b\nDirectory=B\n\n[User 6 T]\nN\\x3Dx=8\n");
  ASSERT_EQ(document.Find(6)->values.size(), 1u);
  EXPECT_EQ(document.Find(6)->values[0].key, "N=x");
}

TEST(UsersValueLines, LimitsAreKeptSoThatTheReaderSeesEveryValueWritten) {
  UsersDocument document;
  UsersFileFault fault;
  std::string text = "[User 1]\nName=a\nDirectory=A\n[User 1 S]\n";
  for (std::size_t i = 0; i < UsersFile::kMaxValuesPerUser; ++i) text += "k" + std::to_string(i) + "=1\n";
  ASSERT_EQ(document.Read(text, &fault), kOk);
  EXPECT_EQ(document.SetValue(1, {"S", "new", 1}), kUsersErrTooMany);
  EXPECT_EQ(document.SetValue(1, {"S", "k0", 2}), kOk);  // a change is no new value
  EXPECT_EQ(document.Find(1)->values[0].value, 2);
}

TEST(UsersFileFaults, TextThatIsNoUsersFileIsRefusedWithItsLine) {
  struct Case {
    std::string text;
    std::size_t line;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {std::string("[User 1]\nName=a\0b\n", 18), 2, "control byte 0x00"},
      {"[User 1]\nName=a\nDirectory=A\n\x01\x02\xff\xfe", 4, "control byte 0x01"},
      {"[User 1]\rName=a\rDirectory=A\r", 1, "carriage return without a line feed"},
      {"# ok\n" + std::string(UsersDocument::kMaxLineBytes + 1, 'x') + "\n", 2, "longer than 4096 bytes"},
      {"[User 1]\nName=a\x7f\n", 2, "control byte 0x7F"},
  };
  for (const Case& c : cases) {
    UsersDocument document;
    UsersFileFault fault;
    EXPECT_EQ(document.Read(c.text, &fault), kUsersErrBadFile);
    EXPECT_EQ(fault.line, c.line);
    EXPECT_NE(fault.reason.find(c.reason), std::string::npos) << fault.reason;
    EXPECT_TRUE(document.users().empty());
    EXPECT_EQ(document.Text(), "");
  }
  // The longest line that is allowed, and tabs, are text.
  UsersDocument document;
  UsersFileFault fault;
  EXPECT_EQ(document.Read("#" + std::string(UsersDocument::kMaxLineBytes - 1, 'x') + "\n\tName=a\n", &fault), kOk);
}

}  // namespace
}  // namespace tallimor
