// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// import: installs a .pdb file on the handheld under its database name.
#include "hotsync/pdb/PdbReader.h"
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

namespace tallimor {
namespace {

int RunImport(HandheldSession& s, const CommandLine& line) {
  const std::string& path = line.arguments()[0];
  const int status = s.OpenHandheld();
  if (status != kExitOk) return status;
  Handheld& handheld = s.handheld();
  PdbFile file;
  std::string error;
  if (PdbReader::ReadFile(path, &file, &error) != kOk) return s.Fail(error);
  const std::string name = file.header.name;
  if (!Handheld::IsValidDatabaseName(name)) {
    return s.Fail(path + ": the database name \"" + name + "\" cannot name a file of the handheld");
  }
  if (handheld.DatabaseExists(name) && !line.Has("replace")) {
    return s.Fail("the handheld already holds a database named \"" + name + "\" (" + handheld.DatabasePath(name) +
                  "); give --replace to overwrite it");
  }
  std::unique_ptr<HandheldDatabase> db = HandheldDatabase::FromFile(std::move(file));
  if (handheld.SaveDatabase(name, *db, &error) != kSyncErrNone) return s.Fail(error);
  s.out() << name << "\n";
  return kExitOk;
}

}  // namespace

const HandheldCommand kImportCommand{
    {"import",
     "install a .pdb file on the handheld",
     "Installs the Palm database FILE on the handheld as DIR/<its name>.pdb, after\n"
     "reading it whole; prints the database name. A database of that name is replaced\n"
     "only with --replace.\n",
     {{'\0', "replace", nullptr, "replace a database of the same name"}},
     {{"FILE"}}},
    RunImport};

}  // namespace tallimor
