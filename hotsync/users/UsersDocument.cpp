// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The users file as lines. Reading never trusts the text: every id, name and
// directory is checked before a user is used, so a hostile or mangled file cannot
// name a directory outside the HotSync root or make two users share one. What
// cannot be used is kept as it stands and keeps its id and directory to itself.
#include "hotsync/users/UsersDocument.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "hotsync/users/UsersResults.h"

namespace tallimor {
namespace {

constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UsersFile::FoldCase(a) == UsersFile::FoldCase(b);
}

bool ParseId(std::string_view text, std::uint32_t* id) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *id);
  return error == std::errc() && end == text.data() + text.size() && *id != UsersFile::kNoUser;
}

// The id a mangled id still shows: its first run of digits ("-1", "12x", "0x10").
bool DigitsIn(std::string_view text, std::uint32_t* id) {
  const std::size_t start = text.find_first_of("0123456789");
  if (start == std::string_view::npos) return false;
  const std::size_t end = text.find_first_not_of("0123456789", start);
  return ParseId(text.substr(start, end == std::string_view::npos ? end : end - start), id);
}

bool ParseValue(std::string_view text, std::int32_t* value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// Text of the file shown in a reason: escaped, so that nothing odd reaches a terminal.
std::string Quoted(std::string_view text) { return "\"" + UsersFile::Escape(text) + "\""; }

std::string LineNumber(std::size_t index) { return "line " + std::to_string(index + 1); }

// What the [User <id>] sections of one id say, gathered before the user is judged.
struct Gathered {
  std::size_t first = 0;  // line index of the first section line
  bool hasId = false;     // of a section line without a usable id: the id an Id line gives
  std::uint32_t id = 0;
  std::string name;
  std::vector<std::pair<std::string, std::size_t>> directories;  // value, line index
  std::string problem;    // a reason found while gathering
};

struct ParsedValue {
  std::uint32_t id;
  UserValue value;
};

}  // namespace

Result UsersDocument::Read(std::string_view text, UsersFileFault* fault) {
  *this = UsersDocument();
  if (text.size() > UsersFile::kMaxFileSize) {
    *fault = {0, "it is larger than " + std::to_string(UsersFile::kMaxFileSize) + " bytes"};
    return kUsersErrFileTooLarge;
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  ini_ = IniDocument(text);
  for (std::size_t index = 0; index < ini_.lines().size(); ++index) {
    const std::string_view body = ini_.lines()[index].text;
    const std::size_t number = index + 1;
    if (body.size() > kMaxLineBytes) {
      *fault = {number, "it is longer than " + std::to_string(kMaxLineBytes) + " bytes"};
    }
    for (char c : body) {
      const auto b = static_cast<unsigned char>(c);
      if (fault->reason.empty() && ((b < 0x20 && b != '\t') || b == 0x7F)) {
        *fault = {number, b == '\r' ? std::string("it holds a carriage return without a line feed")
                                    : std::string("it holds the control byte 0x") + kHex[b >> 4] +
                                          kHex[b & 0x0F] + ", so this is no text file"};
      }
    }
    if (!fault->reason.empty()) {
      *this = UsersDocument();
      return kUsersErrBadFile;
    }
  }
  Analyse();
  return kOk;
}

std::string UsersDocument::Text() const { return ini_.Text(); }

void UsersDocument::ReadSectionLine(std::string_view line, Section* section) {
  const IniDocument::SectionLine read = IniDocument::ReadSectionLine(line);
  section->wellFormed = read.wellFormed;
  std::string_view inner = read.name;
  if (EqualsIgnoringCase(inner, kHeaderSection)) {
    section->kind = section->wellFormed ? Kind::kHeader : Kind::kOther;
    return;
  }
  if (inner.size() < 4 || !EqualsIgnoringCase(inner.substr(0, 4), "User")) {
    section->kind = Kind::kOther;
    return;
  }
  inner = IniDocument::Trim(inner.substr(4));
  const std::size_t space = inner.find_first_of(" \t");
  const std::string_view token = inner.substr(0, space);
  const bool values = space != std::string_view::npos;
  if (ParseId(token, &section->id)) {
    section->hasId = true;
    if (!values) {
      section->kind = Kind::kEntry;
      return;
    }
    section->name = UsersFile::Unescape(inner.substr(space + 1));
    section->kind = section->wellFormed && UsersFile::IsValidKey(section->name) ? Kind::kValues
                                                                                 : Kind::kBadValues;
    return;
  }
  section->hasId = DigitsIn(token, &section->id);
  section->kind = values ? Kind::kBadValues : Kind::kBadEntry;
}

void UsersDocument::Analyse() {
  sections_.clear();
  users_.clear();
  unusable_.clear();
  ids_.clear();
  directories_.clear();
  hasHighest_ = false;
  highest_ = 0;
  valueCount_ = 0;

  // The lines before the first section line make a section of their own.
  sections_.push_back(Section{Kind::kPreamble, 0, 0, 0, false, true, {}});
  for (std::size_t i = 0; i < ini_.lines().size(); ++i) {
    if (!IniDocument::IsSectionLine(ini_.lines()[i].text)) continue;
    sections_.back().end = i;
    sections_.push_back(Section{Kind::kOther, i, i, 0, false, true, {}});
    ReadSectionLine(ini_.lines()[i].text, &sections_.back());
  }
  sections_.back().end = ini_.lines().size();

  std::map<std::uint32_t, Gathered> gathered;  // [User <id>] sections by id
  std::vector<std::uint32_t> order;            // ids in the order of their first section
  std::vector<ParsedValue> values;
  for (const Section& s : sections_) {
    if (s.hasId) ids_.insert(s.id);
    Gathered bad;  // a [User ...] section without a usable id stands alone
    Gathered* entry = s.kind == Kind::kBadEntry ? &bad : nullptr;
    if (s.kind == Kind::kEntry) {
      auto [at, added] = gathered.try_emplace(s.id);
      if (added) {
        at->second.first = s.first;
        order.push_back(s.id);
      }
      entry = &at->second;
      if (!s.wellFormed && entry->problem.empty()) {
        entry->problem = "its section line (" + LineNumber(s.first) + ") has more than [User " +
                         std::to_string(s.id) + "] or lacks the closing ]";
      }
    }
    for (std::size_t i = s.first + (s.kind == Kind::kPreamble ? 0 : 1); i < s.end; ++i) {
      std::string_view key;
      std::string_view value;
      if (!IniDocument::KeyLine(ini_.lines()[i].text, &key, &value)) continue;
      std::uint32_t number = 0;
      if (s.kind == Kind::kHeader && EqualsIgnoringCase(key, kHighestIdKey)) {
        if (ParseId(value, &number)) {
          highest_ = std::max(highest_, number);
          hasHighest_ = true;
        }
      } else if (entry != nullptr && EqualsIgnoringCase(key, "Name")) {
        entry->name = UsersFile::Unescape(value);
      } else if (entry != nullptr && EqualsIgnoringCase(key, "Directory")) {
        entry->directories.emplace_back(UsersFile::Unescape(value), i);
        directories_.insert(UsersFile::FoldCase(entry->directories.back().first));
        directories_.insert(UsersFile::FoldCase(value));
      } else if (entry != nullptr && EqualsIgnoringCase(key, "Id")) {
        if (!DigitsIn(value, &number)) continue;
        ids_.insert(number);
        if (s.kind == Kind::kEntry && number != s.id && entry->problem.empty()) {
          entry->problem = "its Id line (" + LineNumber(i) + ") says " + std::to_string(number);
        }
        if (s.kind == Kind::kBadEntry && !s.hasId) {
          bad.hasId = true;
          bad.id = number;
        }
      } else if (s.kind == Kind::kValues) {
        UserValue v{s.name, UsersFile::Unescape(key), 0};
        if (UsersFile::IsValidKey(v.key) && ParseValue(value, &v.value) &&
            values.size() < UsersFile::kMaxValues) {
          values.push_back(ParsedValue{s.id, std::move(v)});
        }
      }
    }
    if (s.kind == Kind::kBadEntry) {
      unusable_.push_back(UnusableEntry{
          s.first + 1, s.hasId || bad.hasId, s.hasId ? s.id : bad.id, bad.name,
          "its section line (" + LineNumber(s.first) + ") gives no user id from 0 to " +
              std::to_string(UsersFile::kNoUser - 1)});
    }
  }

  // Users in the order of their first section; the first to name a directory keeps it.
  std::map<std::string, std::uint32_t> owners;  // folded directory -> user id
  for (std::uint32_t id : order) {
    Gathered& g = gathered[id];
    std::string reason = g.problem;
    const std::string directory = g.directories.empty() ? std::string() : g.directories.back().first;
    for (const auto& [other, line] : g.directories) {
      if (reason.empty() && other != directory) {
        reason = "it names two directories, " + Quoted(other) + " (" + LineNumber(line) + ") and " +
                 Quoted(directory) + " (" + LineNumber(g.directories.back().second) + ")";
      }
    }
    if (reason.empty() && g.directories.empty()) reason = "it has no Directory line";
    if (reason.empty() && !UsersFile::IsValidDirectory(directory)) {
      reason = "its directory " + Quoted(directory) + " is not a single folder name";
    }
    const std::string folded = UsersFile::FoldCase(directory);
    if (reason.empty() && owners.count(folded) != 0) {
      reason = "its directory " + Quoted(directory) + " is the directory of user id " +
               std::to_string(owners[folded]) + " already";
    }
    if (reason.empty() && users_.size() >= UsersFile::kMaxUsers) {
      reason = "there are " + std::to_string(UsersFile::kMaxUsers) + " users before it";
    }
    if (!reason.empty()) {
      unusable_.push_back(UnusableEntry{g.first + 1, true, id, g.name, reason});
      continue;
    }
    owners.emplace(folded, id);
    users_.push_back(HotSyncUser{id, g.name, directory, {}});
  }
  std::sort(unusable_.begin(), unusable_.end(),
            [](const UnusableEntry& a, const UnusableEntry& b) { return a.line < b.line; });

  std::map<std::uint32_t, std::size_t> at;  // id -> position in users_
  for (std::size_t i = 0; i < users_.size(); ++i) at.emplace(users_[i].id, i);
  valueCount_ = values.size();  // the reader's limit counts every value line it takes
  for (ParsedValue& v : values) {
    const auto it = at.find(v.id);
    if (it != at.end()) UsersFile::SetValue(users_[it->second].values, std::move(v.value));
  }
}

const HotSyncUser* UsersDocument::Find(std::uint32_t id) const {
  for (const HotSyncUser& user : users_) {
    if (user.id == id) return &user;
  }
  return nullptr;
}

const UnusableEntry* UsersDocument::UnusableWithId(std::uint32_t id) const {
  for (const UnusableEntry& entry : unusable_) {
    if (entry.hasId && entry.id == id) return &entry;
  }
  return nullptr;
}

const UnusableEntry* UsersDocument::UnusableWithName(std::string_view name) const {
  for (const UnusableEntry& entry : unusable_) {
    if (!name.empty() && entry.name == name) return &entry;
  }
  return nullptr;
}

bool UsersDocument::DirectoryTaken(std::string_view directory) const {
  return directories_.count(UsersFile::FoldCase(directory)) != 0;
}

std::uint32_t UsersDocument::NewId() const {
  std::uint32_t top = hasHighest_ ? highest_ : 0;
  if (!ids_.empty()) top = std::max(top, *ids_.rbegin());
  if (top + 1 < UsersFile::kNoUser) return top + 1;
  // Every id above has been used: the lowest one never named, found within as many
  // steps as the file names ids.
  for (std::uint32_t id = 1; id < UsersFile::kNoUser; ++id) {
    if (ids_.count(id) == 0) return id;
  }
  return UsersFile::kNoUser;
}

std::string UsersDocument::LineEnd() const {
  std::size_t crlf = 0;
  for (const IniDocument::Line& line : ini_.lines()) crlf += line.ending == "\r\n";
  return crlf * 2 > ini_.lines().size() ? "\r\n" : "\n";
}

void UsersDocument::Insert(std::size_t at, const std::vector<std::string>& texts) {
  const std::string ending = LineEnd();
  if (at == ini_.lines().size() && !ini_.lines().empty() && ini_.lines().back().ending.empty()) {
    ini_.lines().back().ending = ending;
  }
  std::vector<IniDocument::Line> added;
  for (const std::string& text : texts) added.push_back(IniDocument::Line{text, ending});
  ini_.lines().insert(ini_.lines().begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
}

void UsersDocument::ReplaceValue(std::size_t line, std::string_view value) {
  std::string& text = ini_.lines()[line].text;
  const std::size_t equals = text.find('=');
  const std::size_t start = text.find_first_not_of(" \t", equals + 1);
  const std::size_t last = text.find_last_not_of(" \t");
  if (start == std::string::npos || last < start) {
    text.insert(text.size(), value);  // an empty value: after the spaces that follow '='
    return;
  }
  text.replace(start, last + 1 - start, value);
}

std::size_t UsersDocument::LastKeyLine(const Section& section) const {
  std::size_t last = section.first;
  for (std::size_t i = section.first + 1; i < section.end; ++i) {
    std::string_view key;
    std::string_view value;
    if (IniDocument::KeyLine(ini_.lines()[i].text, &key, &value)) last = i;
  }
  return last;
}

void UsersDocument::RecordHighestId() {
  const std::uint32_t top = ids_.empty() ? 0 : *ids_.rbegin();
  if (top == 0 || (hasHighest_ && highest_ >= top)) return;
  const std::string line = std::string(kHighestIdKey) + "=" + std::to_string(top);
  const Section* header = nullptr;
  std::size_t keyLine = kNoLine;
  for (const Section& s : sections_) {
    if (s.kind != Kind::kHeader) continue;
    header = header == nullptr ? &s : header;
    for (std::size_t i = s.first + 1; i < s.end; ++i) {
      std::string_view key;
      std::string_view value;
      if (IniDocument::KeyLine(ini_.lines()[i].text, &key, &value) && EqualsIgnoringCase(key, kHighestIdKey)) {
        keyLine = i;
      }
    }
  }
  if (keyLine != kNoLine) {
    ReplaceValue(keyLine, std::to_string(top));
  } else if (header != nullptr) {
    Insert(header->first + 1, {line});
  } else if (sections_.size() > 1) {
    // Before the first section, and before the comments right above it, which
    // belong to that section.
    std::size_t at = sections_[1].first;
    while (at > 0 && IniDocument::IsComment(IniDocument::Trim(ini_.lines()[at - 1].text))) --at;
    Insert(at, {"[" + std::string(kHeaderSection) + "]", line, ""});
  } else {
    std::vector<std::string> texts;
    if (!ini_.lines().empty() && !IniDocument::Trim(ini_.lines().back().text).empty()) texts.emplace_back();
    texts.push_back("[" + std::string(kHeaderSection) + "]");
    texts.push_back(line);
    Insert(ini_.lines().size(), texts);
  }
  Analyse();
}

Result UsersDocument::SetValue(std::uint32_t id, const UserValue& value) {
  const HotSyncUser* user = Find(id);
  if (user == nullptr) return kUsersErrUnknownUser;
  const bool known = std::any_of(user->values.begin(), user->values.end(), [&](const UserValue& v) {
    return v.section == value.section && v.key == value.key;
  });
  if (!known && (user->values.size() >= UsersFile::kMaxValuesPerUser ||
                 valueCount_ >= UsersFile::kMaxValues)) {
    return kUsersErrTooMany;
  }
  const std::string number = std::to_string(value.value);
  // The line the reader takes the value from is the last one of that key.
  std::size_t keyLine = kNoLine;
  const Section* named = nullptr;  // the user's last section of that name
  const Section* last = nullptr;   // the user's last section
  for (const Section& s : sections_) {
    if ((s.kind == Kind::kEntry || s.kind == Kind::kValues) && s.id == id) last = &s;
    if (s.kind != Kind::kValues || s.id != id || s.name != value.section) continue;
    named = &s;
    for (std::size_t i = s.first + 1; i < s.end; ++i) {
      std::string_view key;
      std::string_view text;
      if (IniDocument::KeyLine(ini_.lines()[i].text, &key, &text) && UsersFile::Unescape(key) == value.key) keyLine = i;
    }
  }
  const std::string line = UsersFile::Escape(value.key) + "=" + number;
  if (keyLine != kNoLine) {
    ReplaceValue(keyLine, number);
  } else if (named != nullptr) {
    Insert(LastKeyLine(*named) + 1, {line});
  } else {
    Insert(LastKeyLine(*last) + 1,
           {"", "[User " + std::to_string(id) + " " + UsersFile::Escape(value.section) + "]", line});
  }
  Analyse();
  RecordHighestId();
  return kOk;
}

void UsersDocument::AddUser(const HotSyncUser& user) {
  std::vector<std::string> texts;
  if (!ini_.lines().empty() && !IniDocument::Trim(ini_.lines().back().text).empty()) texts.emplace_back();
  texts.push_back("[User " + std::to_string(user.id) + "]");
  texts.push_back("Name=" + UsersFile::Escape(user.name));
  texts.push_back("Directory=" + UsersFile::Escape(user.directory));
  Insert(ini_.lines().size(), texts);
  Analyse();
  RecordHighestId();
}

}  // namespace tallimor
