// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// export: copies a database of the handheld out to a .pdb file.
#include "hotsync/pdb/PdbWriter.h"
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

namespace tallimor {
namespace {

int RunExport(HandheldSession& s, const CommandLine& line) {
  const std::string& name = line.arguments()[0];
  const std::string& path = line.arguments()[1];
  const int status = s.OpenHandheld();
  if (status != kExitOk) return status;
  std::unique_ptr<HandheldDatabase> db;
  std::string error;
  const Result loaded = s.handheld().LoadDatabase(name, &db, &error);
  if (loaded == kSyncErrNotFound) return s.Fail("the handheld holds no database named \"" + name + "\"");
  if (loaded != kSyncErrNone) return s.Fail(name + ": " + error);
  if (PdbWriter::WriteFile(path, db->ToFile(), &error) != kOk) return s.Fail(path + ": " + error);
  return kExitOk;
}

}  // namespace

const HandheldCommand kExportCommand{
    {"export",
     "copy a database of the handheld to a .pdb file",
     "Writes the database NAME of the handheld (e.g. TallimorDB) to FILE, replacing FILE\n"
     "atomically. A new FILE is private to you (mode 0600), since the memo database holds\n"
     "the password's digest and hint; a FILE that exists keeps its permissions.\n",
     {},
     {{"NAME"}, {"FILE"}}},
    RunExport};

}  // namespace tallimor
