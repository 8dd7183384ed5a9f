// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// How the HotSync program shows the HotSync log: a heading per run with its outcome,
// then one line per entry. The conduit's start entries (empty text) are left out; its
// end entries read "OK <conduit>" or "FAILED <conduit>".
#pragma once

#include <ostream>
#include <vector>

#include "hotsync/log/LogFormat.h"

namespace tallimor {

// One entry as a line: indent, "<time>  <text>", a newline; nothing for an entry
// without anything to show.
void WriteLogEntry(const LogEntry& entry, std::ostream& out, const char* indent = "");
// A run: "HotSync <started>: completed|failed|did not finish", then its entries
// indented by two spaces.
void WriteLogRun(const LogRun& run, std::ostream& out);

}  // namespace tallimor
