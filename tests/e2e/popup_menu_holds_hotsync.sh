#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# A HotSync while the list's pop-up menu is open: the menu waits with the memo it was
# opened on, so the program refuses the HotSync as it does while a dialog is open
# (hotsync exits 3), and Delete chosen from the menu afterwards deletes that memo, not
# the first one of a list rebuilt underneath. The refusal notice comes once the menu
# has closed. The menu bar's menus hold a HotSync off the same way.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

e2e_make_handheld "first memo" "second memo" "third memo"
e2e_start_program

e2e_select_memo "third memo"
xdotool key Menu
sleep 1  # the pop-up is open; it leaves no window of its own name to wait for
e2e_hotsync 3 >/dev/null
echo "ok: hotsync was refused while the pop-up menu was open"
xdotool key d  # 削除(&D)
e2e_wait_window '^メモの削除$'
e2e_dismiss_message_box  # the refusal notice, shown once the menu has closed
e2e_answer_dialog '^メモの削除$'
e2e_wait_list_memos "after Delete from the pop-up menu" "first memo" "second memo"

# A menu of the menu bar (the File menu, clicked open at the bar's left end) holds the
# HotSync off too.
e2e_focus_main
xdotool mousemove --window "$E2E_MAIN_WINDOW" 20 8 click 1
sleep 1
e2e_hotsync 3 >/dev/null
echo "ok: hotsync was refused while a menu of the menu bar was open"
xdotool key Escape Escape
e2e_dismiss_message_box

e2e_hotsync 0 >/dev/null
echo "ok: hotsync went through once the menus were closed"
e2e_expect_memos handheld "after the HotSync" "first memo" "second memo"
e2e_expect_memos desktop "after the HotSync" "first memo" "second memo"
