#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# A HotSync that runs without the notifier (TALLIMOR_NOTIFIER empty) does not ask the
# open desktop program to save first, and rewrites record.dat under it. The program's
# next save (Ctrl+S) finds the file changed, says so (naming HotSync; the program's
# tests check the text) and offers to read it anew with the unsaved memo on top; accepted, the file holds both the memo and
# the HotSync's changes, and the next HotSync leaves every memo once on both sides.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

e2e_make_handheld "kept on both sides"

e2e_start_program
e2e_wait_list_memos "after the login" "kept on both sides"
xdotool key ctrl+n
e2e_wait_window '^メモの編集$'
e2e_focus '^メモの編集$'
xdotool type --delay 20 "added in the program"
xdotool key Tab space
e2e_wait_window_gone '^メモの編集$'
e2e_wait_list_memos "the unsaved memo" "kept on both sides" "added in the program"

e2e_hh add "added on the handheld" >/dev/null
TALLIMOR_NOTIFIER= e2e_hotsync 0 >/dev/null
echo "ok: hotsync ran without the notifier while the program held an unsaved memo"
e2e_expect_memos desktop "the HotSync's changes, the unsaved memo not yet" \
  "kept on both sides" "added on the handheld"

e2e_focus_main
xdotool key ctrl+s
e2e_wait_until "the program to report the changed file" e2e_message_box_there
e2e_expect_memos desktop "nothing written over the HotSync's file before the answer" \
  "kept on both sides" "added on the handheld"
e2e_dismiss_message_box  # Return: Yes, read the file anew with the memo on top
reloaded_with_memo() {
  [ "$(e2e_desktop_memos 2>/dev/null)" = "$(e2e_expected_memos \
    "kept on both sides" "added on the handheld" "added in the program")" ]
}
e2e_wait_until "the file to hold the memo and the HotSync's changes" reloaded_with_memo
e2e_expect_memos desktop "after the reload" \
  "kept on both sides" "added on the handheld" "added in the program"
e2e_wait_list_memos "after the reload" \
  "kept on both sides" "added on the handheld" "added in the program"

e2e_hotsync 0 >/dev/null
e2e_expect_memos handheld "after the next HotSync" \
  "kept on both sides" "added on the handheld" "added in the program"
e2e_expect_memos desktop "after the next HotSync" \
  "kept on both sides" "added on the handheld" "added in the program"
e2e_wait_list_memos "after the next HotSync" \
  "kept on both sides" "added on the handheld" "added in the program"
