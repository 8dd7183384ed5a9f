#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# After a Delete no memo is current and Copy is greyed out: Ctrl+A then Ctrl+C must
# leave the clipboard alone (the list control's own copy must not step in), and so must
# Ctrl+Insert. Once a memo is current again Ctrl+C copies it as before.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

e2e_make_handheld "first memo" "second memo" "third memo"
e2e_start_program
e2e_delete_memo "second memo"
e2e_wait_list_memos "after the delete" "first memo" "third memo"

# e2e_wait_list_memos made a memo current again: delete once more to have none.
e2e_delete_memo "third memo"
e2e_clear_clipboard
e2e_focus_main
xdotool key ctrl+a ctrl+c ctrl+Insert
sleep 1
[ "$(e2e_clipboard)" = "$E2E_NO_COPY" ] ||
  e2e_fail "a disabled Copy changed the clipboard to \"$(e2e_clipboard)\""
echo "ok: the keys of a disabled Copy left the clipboard alone"

xdotool key Home ctrl+c
e2e_wait_until "a copy of the current memo" e2e_clipboard_copied
[ "$(e2e_clipboard)" = "first memo" ] || e2e_fail "Ctrl+C copied \"$(e2e_clipboard)\""
echo "ok: Ctrl+C copies the current memo once there is one"
