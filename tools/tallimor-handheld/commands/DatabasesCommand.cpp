// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// databases: lists the databases of the handheld with their creator and type.
#include "hotsync/pdb/PdbReader.h"
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

namespace tallimor {
namespace {

int RunDatabases(HandheldSession& s, const CommandLine&) {
  const int status = s.OpenHandheld();
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

}  // namespace

const HandheldCommand kDatabasesCommand{
    {"databases", "list the databases of the handheld", "Lists the databases of the handheld with their creator and type.\n",
     {}, {}},
    RunDatabases};

}  // namespace tallimor
