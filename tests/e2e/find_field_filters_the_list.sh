#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# The find field, typed into with real keys: Ctrl+F puts the focus there, the list
# shows only the memos holding the text (in any case, full-width or half-width), a
# HotSync reloads the list with the text kept, and Escape empties the field again.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

e2e_make_handheld "Meeting at ten" "パスワード変更" "grocery list" "ＭＥＥＴＩＮＧ　全角"
e2e_start_program
all=("Meeting at ten" "パスワード変更" "grocery list" "ＭＥＥＴＩＮＧ　全角")
e2e_wait_list_memos "after the login" "${all[@]}"

e2e_focus_main
xdotool key ctrl+f
xdotool type --delay 20 "meeting"
xdotool key Return  # on to the list
e2e_wait_list_memos "the field holds meeting" "Meeting at ten" "ＭＥＥＴＩＮＧ　全角"

# Ctrl+F selects the text, so typing replaces it; half-width katakana find full-width.
xdotool key ctrl+f
xdotool type --delay 20 "ﾊﾟｽﾜ"
xdotool key Return
e2e_wait_list_memos "the field holds half-width ﾊﾟｽﾜ" "パスワード変更"

# A HotSync reloads the list: the text stays, and a new memo holding it is found.
e2e_hh add "新しいパスワード" >/dev/null
e2e_hotsync 0 >/dev/null
e2e_wait_list_memos "after a HotSync, still searching" "パスワード変更" "新しいパスワード"

# Delete in the field edits the field, never the memos.
xdotool key ctrl+f Delete
xdotool type --delay 20 "grocery"
xdotool key Return
e2e_wait_list_memos "the field holds grocery" "grocery list"

xdotool key ctrl+f Escape Return
e2e_wait_list_memos "Escape emptied the field" "${all[@]}" "新しいパスワード"
e2e_expect_memos desktop "nothing deleted by the keys typed" "${all[@]}" "新しいパスワード"
echo "ok: the find field filters the list and Escape empties it"
