#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Typing the start of a memo in the list (type-ahead) moves the current memo with the
# highlight: the edit button then edits the memo typed to, not the one clicked before.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

e2e_make_handheld "first memo" "second memo" "third memo"
e2e_start_program
e2e_select_memo "second memo"
xdotool key t
sleep 0.5
xdotool key Tab Tab space  # from the list to the edit button
e2e_wait_window '^メモの編集$'
e2e_focus '^メモの編集$'
e2e_clear_clipboard
xdotool key ctrl+a ctrl+c
e2e_wait_until "a copy of the edited text" e2e_clipboard_copied
text=$(e2e_clipboard)
[ "$text" = "third memo" ] || e2e_fail "after typing t the edit button edits \"$text\", not \"third memo\""
echo "ok: the edit button follows the type-ahead"
xdotool key Escape
e2e_wait_window_gone '^メモの編集$'

# Delete acts on the memo typed to, and so does the detail pane's memo.
e2e_focus_main
xdotool key Home s
sleep 0.5
xdotool key Delete
e2e_answer_dialog '^メモの削除$'
e2e_wait_list_memos "after typing s and Delete" "first memo" "third memo"
