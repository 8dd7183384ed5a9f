// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The log as the user reads it: entry texts converted for the terminal, activity codes
// shown only where they change what the line means.
#include "hotsync/manager/LogListing.h"

#include "hotsync/log/HsLog.h"
#include "hotsync/manager/TerminalText.h"

namespace tallimor {

void WriteLogEntry(const LogEntry& entry, std::ostream& out, const char* indent) {
  if (entry.text.empty()) return;  // the conduit's start entries
  std::string text = TerminalText(entry.text);
  if (entry.activity == kActivityConduitEnded) text = "OK " + text;
  if (entry.activity == kActivityConduitFailed) text = "FAILED " + text;
  out << indent << entry.time << "  " << text << "\n";
}

void WriteLogRun(const LogRun& run, std::ostream& out) {
  const char* outcome = run.ended.empty() ? "did not finish" : run.completed ? "completed" : "failed";
  if (run.started.empty()) {
    out << "Entries outside a HotSync:\n";
  } else {
    out << "HotSync " << run.started << ": " << outcome << "\n";
  }
  for (const LogEntry& entry : run.entries) WriteLogEntry(entry, out, "  ");
}

}  // namespace tallimor
