// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// DesktopJournal: how one HotSync commits two stores that cannot be written together,
// the handheld's memo database and the desktop file record.dat, so that a HotSync
// that fails or is killed at any point loses, duplicates and resurrects nothing.
//
// Why it is needed. The handheld gives every record the desktop sends it a new record
// id, and the desktop file must learn those ids; the handheld also clears its change
// flags and drops what was deleted or archived. If the handheld keeps the HotSync and
// the desktop file does not, the next HotSync finds the desktop's new memos without
// ids and sends them again (a second copy each time), and takes handheld memos that
// were deleted on the desktop for new ones. If the desktop keeps the HotSync and the
// handheld does not, memos deleted on the handheld come back. So the desktop file must
// end in the state that matches what the handheld ended in, whichever that is.
//
// The protocol. Each commit carries a mark: a 32-bit value larger than both the mark
// the handheld database carries now and the one in the desktop file, in the manner of
// a timestamp (Palm epoch seconds). It is stored as the "last backup date" of both the
// handheld database's header and record.dat's header, fields that both formats have
// and that no reader of the memos interprets.
//
//   1. The HotSync is reconciled in memory; nothing is written.
//   2. Archives are written (an archive never holds a memo twice, so a HotSync done
//      again after a failure archives nothing twice).
//   3. The journal, record.JNL beside record.dat, is written whole (temporary file,
//      fsync, rename): exactly the record.dat this HotSync ends with, status cleared,
//      carrying the new mark.
//   4. The handheld database is stamped with the mark and committed (its file is
//      replaced whole as it is closed). This is the commit point.
//   5. record.dat is replaced with the same contents (one extra write per HotSync),
//      then the journal is removed, then record.BAK is copied from record.dat.
//
// States a failure or kill can leave, and what the next HotSync does before anything
// else (Recover):
//   - no journal: nothing was left half done (a failure before step 3 left both stores
//     as they were; one after step 5 left both committed).
//   - a journal whose mark the handheld database carries: the handheld committed
//     (step 4) and the desktop may not have; roll forward: record.dat becomes the
//     journal (unless it carries the mark already, in which case it was written and
//     may have been changed by the desktop program since), record.BAK is copied, and
//     the journal is removed. The desktop program may have saved record.dat after
//     the interrupted HotSync: the changes it marked there (new, edited, deleted,
//     archived memos) are put on top of the journal, except those the journal holds
//     already, which that HotSync carried; when that HotSync brought a new password,
//     they join the memos kept aside under the old one instead (KeptAsideFile.h).
//   - a journal whose mark the handheld does not carry (or no handheld database, or a
//     journal that cannot be read): the handheld never committed; roll back: the
//     journal is removed and record.dat is the state before that HotSync, which the
//     handheld also still has.
// Invariants: record.dat is only ever replaced whole; a journal exists only between
// steps 3 and 5; a mark never repeats, because each is larger than the marks before it
// on both sides; the journal is removed only once record.dat holds what it holds or the
// handheld is known not to have committed.
#pragma once

#include <cstdint>
#include <string>

#include "store/ResultCodes.h"

namespace tallimor {

class CPDesktopDatabase;

class DesktopJournal {
 public:
  // The journal's extension, replacing the desktop file's.
  static constexpr const char* kExtension = ".JNL";

  // The journal of the desktop file at `desktopPath`.
  explicit DesktopJournal(const std::string& desktopPath);

  const std::string& Path() const { return path_; }
  const std::string& DesktopPath() const { return desktopPath_; }
  bool Exists() const;

  // The mark of the record file at `path` (its header's last backup date).
  // kErrOpenFailed when it cannot be opened; kErrReadHeader when it holds no whole header.
  static Result ReadMark(const std::string& path, std::uint32_t* mark);

  // A mark for a new commit: the current time (Palm epoch seconds), raised above
  // both marks given so that it differs from every mark before it.
  static std::uint32_t NextMark(std::uint32_t handheldMark, std::uint32_t desktopMark);

  // What Recover did.
  enum class Outcome { kNone, kRolledForward, kRolledBack };

  // Ends what a HotSync left half done, given the mark the handheld database carries
  // (`handheldKnown` false when there is no database to read it from). Rolling
  // forward makes the desktop file the journal's contents (with the desktop
  // program's later changes on top) and copies the journal to `backupPath`; kErrWrite or kErrBackupFailed when that fails (the journal is then
  // kept, to be tried again). *outcome says what was done.
  Result Recover(bool handheldKnown, std::uint32_t handheldMark, const std::string& backupPath,
                 Outcome* outcome);

  // Removes the journal, flushing the directory. Missing is no error; kErrWrite.
  Result Remove();

  // Puts the changes `desktop` marks, and `journal` does not hold yet, on top of
  // `journal` (see above).
  static Result MergeLaterChanges(CPDesktopDatabase& desktop, CPDesktopDatabase& journal);
  // The same when the two are under different passwords: `desktop`'s changes go to
  // the memos kept aside (KeptAsideFile.h) instead, which hold each memo once.
  Result KeepLaterChangesAside(CPDesktopDatabase& desktop, CPDesktopDatabase& journal);

 private:
  // Makes the desktop file the journal's contents with the desktop program's later
  // changes on top. kErrWrite.
  Result RollForward();

  std::string desktopPath_;
  std::string path_;
};

}  // namespace tallimor
