#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# A HotSync while the desktop program is open and idle: the program writes its unsaved
# changes before the conduit reads the file (a memo added and one deleted on the
# desktop, never saved with Ctrl+S, reach the handheld), and reads the file back
# afterwards (a memo added on the handheld shows in the open program's list at once).
# A second HotSync then changes nothing.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

e2e_make_handheld "kept on both sides" "deleted on the desktop"

e2e_start_program
e2e_wait_list_memos "after the login" "kept on both sides" "deleted on the desktop"

e2e_delete_memo "deleted on the desktop"
xdotool key ctrl+n
e2e_wait_window '^メモの編集$'
e2e_focus '^メモの編集$'
xdotool type --delay 20 "unsaved on the desktop"
xdotool key Tab space
e2e_wait_window_gone '^メモの編集$'
e2e_wait_list_memos "before the HotSync" "kept on both sides" "unsaved on the desktop"
e2e_expect_memos desktop "the file before the HotSync, nothing saved yet" \
  "kept on both sides" "deleted on the desktop"

e2e_hh add "added on the handheld" >/dev/null
e2e_hotsync 0 >/dev/null
echo "ok: hotsync went through with the program open"
e2e_expect_memos handheld "after the HotSync" \
  "kept on both sides" "unsaved on the desktop" "added on the handheld"
e2e_expect_memos desktop "after the HotSync" \
  "kept on both sides" "unsaved on the desktop" "added on the handheld"
e2e_wait_list_memos "reloaded after the HotSync" \
  "kept on both sides" "unsaved on the desktop" "added on the handheld"

# Nothing is pending on either side now: a second HotSync leaves the memos as they are.
e2e_hotsync 0 >/dev/null
e2e_expect_memos handheld "after a second HotSync" \
  "kept on both sides" "unsaved on the desktop" "added on the handheld"
e2e_expect_memos desktop "after a second HotSync" \
  "kept on both sides" "unsaved on the desktop" "added on the handheld"
e2e_wait_list_memos "after a second HotSync" \
  "kept on both sides" "unsaved on the desktop" "added on the handheld"
