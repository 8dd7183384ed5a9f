// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// category: adds, renames, deletes and lists the categories of the memo database. Its
// sub-commands share one declaration; each checks its own number of arguments.
#include "tools/common/TextOutput.h"
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

namespace tallimor {
namespace {

int ListCategories(HandheldSession& s, bool json) {
  const CPCategoryTable& categories = s.memo().categories();
  bool first = true;
  if (json) s.out() << "[";
  for (int i = 0; i < kCategoryCount; ++i) {
    const CPCategory* category = categories.At(i);
    if (category == nullptr) continue;
    const std::string name = HandheldSession::CategoryName(categories, i);
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

int RunCategory(HandheldSession& s, const CommandLine& line) {
  const std::string& sub = line.arguments()[0];
  const std::vector<std::string> operands(line.arguments().begin() + 1, line.arguments().end());
  // How many operands each sub-command takes.
  const std::size_t wanted = sub == "list" ? 0 : sub == "rename" ? 2 : 1;
  if (sub != "add" && sub != "rename" && sub != "delete" && sub != "list") {
    return s.Usage("unknown sub-command '" + sub + "': add, rename, delete or list");
  }
  if (operands.size() != wanted) {
    return s.Usage(operands.size() < wanted ? "missing argument of 'category " + sub + "'"
                                            : "unexpected argument '" + operands[wanted] + "'");
  }
  if (line.Has("json") && sub != "list") return s.Usage("--json goes with 'category list' only");
  int status = kExitOk;
  int index = 0;
  std::string name;
  if (sub == "add" && !s.ToCp932(operands[0], "the category name", &name, &status)) return status;
  if (sub == "rename" || sub == "delete") {
    if (!s.CategoryIndex(operands[0], &index, &status)) return status;
    if (sub == "rename" && !s.ToCp932(operands[1], "the category name", &name, &status)) return status;
  }
  status = s.OpenMemo(false);
  if (status != kExitOk) return status;
  if (sub == "list") return ListCategories(s, line.Has("json"));
  std::string error;
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

}  // namespace

const HandheldCommand kCategoryCommand{
    {"category",
     "manage the categories",
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
     {{'j', "json", nullptr, "with list: print one JSON array"}},
     {{"add|rename|delete|list"}, {"ARGUMENTS", true, true}},
     "add NAME | rename INDEX NAME | delete INDEX | list [--json]"},
    RunCategory};

}  // namespace tallimor
