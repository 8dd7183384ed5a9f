#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# A HotSync while the memo edit dialog is open: the desktop program refuses it (hotsync
# exits 3), shows its notice, and neither the handheld nor the desktop file changes by
# a byte. Once the dialog is closed with OK, the next HotSync goes through and the new
# memo, never saved by hand, reaches the handheld deciphered. The delete question is
# refused the same way, and its OK then deletes the memo it asked about.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

e2e_make_handheld "from the handheld"
record=$(e2e_record_file)
cp "$record" "$E2E_WORK/record.before"
cp "$(E2E_DEVICE)/TallimorDB.pdb" "$E2E_WORK/pdb.before"

e2e_start_program
e2e_focus_main
xdotool key ctrl+n
e2e_wait_window '^メモの編集$'
e2e_focus '^メモの編集$'
xdotool type --delay 20 "written during a refused HotSync"

e2e_hotsync 3 >/dev/null
echo "ok: hotsync was refused while the memo edit dialog was open"
cmp -s "$record" "$E2E_WORK/record.before" || e2e_fail "the refused HotSync changed the desktop file"
cmp -s "$(E2E_DEVICE)/TallimorDB.pdb" "$E2E_WORK/pdb.before" || e2e_fail "the refused HotSync changed the handheld"
echo "ok: neither side changed"

# The refusal notice stands over the dialog; the dialog stays open with its text.
e2e_dismiss_message_box
e2e_window_there '^メモの編集$' || e2e_fail "the memo edit dialog closed with the refusal"
e2e_focus '^メモの編集$'
xdotool key Return
xdotool type --delay 20 "second line"
xdotool key Tab space  # from the text to OK
e2e_wait_window_gone '^メモの編集$'

e2e_hotsync 0 >/dev/null
echo "ok: hotsync went through once the dialog was closed"
e2e_expect_memos handheld "after the HotSync" \
  "from the handheld" $'written during a refused HotSync\nsecond line'
e2e_expect_memos desktop "after the HotSync" \
  "from the handheld" $'written during a refused HotSync\nsecond line'
e2e_wait_list_memos "after the HotSync" \
  "from the handheld" $'written during a refused HotSync\nsecond line'

# The delete question is as modal as the dialog, and it waits with the rows it is about
# to delete: a HotSync that reloaded the list under it would have OK delete another memo.
e2e_select_memo "from the handheld"
xdotool key Delete
e2e_wait_window '^メモの削除$'
e2e_hotsync 3 >/dev/null
echo "ok: hotsync was refused while the delete question was open"
e2e_dismiss_message_box
e2e_answer_dialog '^メモの削除$'
e2e_wait_list_memos "after the delete" $'written during a refused HotSync\nsecond line'
e2e_hotsync 0 >/dev/null
e2e_expect_memos handheld "after the delete and a HotSync" $'written during a refused HotSync\nsecond line'
e2e_expect_memos desktop "after the delete and a HotSync" $'written during a refused HotSync\nsecond line'
