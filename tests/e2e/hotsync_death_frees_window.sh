#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# A HotSync that dies after the desktop program has handed over its data (code 1)
# never sends its end code. The HotSync holds HotSync.lock in the user's directory for
# its whole run, and the kernel lets the lock go when the process dies: the program
# notices, ends the HotSync as an abnormal end, and the user can work on. Here the
# HotSync is played by a process that takes the lock and sends the notifier's codes,
# then is killed; a real HotSync afterwards goes through with the memo written since.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

e2e_make_handheld "first memo"
e2e_start_program
lock="$(e2e_user_directory)/HotSync.lock"
flock -o "$lock" sleep 600 &
holder=$!
e2e_wait_until "the stand-in HotSync to hold the lock" bash -c "! flock -n '$lock' true"

for step in "0 5120" "5 0" "0 5120" "1 0"; do
  set -- $step
  answer=$(e2e_send_message 5120 "$1" 0)
  [ "$answer" = "$2" ] || e2e_fail "code $1 was answered \"$answer\", expected $2"
done
echo "ok: the program agreed to the HotSync and handed over its data"

e2e_focus_main
xdotool key ctrl+n
sleep 1
e2e_window_gone '^メモの編集$' || e2e_fail "the memo dialog opened during the HotSync"
echo "ok: the window is disabled while the HotSync runs"

kill -9 "$holder"
wait "$holder" 2>/dev/null || true
e2e_new_memo_opens() {
  e2e_window_there '^メモの編集$' && return 0
  e2e_focus_main
  xdotool key ctrl+n
  sleep 0.5
  e2e_window_there '^メモの編集$'
}
e2e_wait_until "the memo dialog to open after the HotSync died" e2e_new_memo_opens
echo "ok: the window is enabled again once the HotSync has died"
e2e_focus '^メモの編集$'
xdotool type --delay 20 "after the dead HotSync"
xdotool key Tab space
e2e_wait_window_gone '^メモの編集$'

e2e_hotsync 0 >/dev/null
e2e_expect_memos handheld "after a HotSync following the dead one" "first memo" "after the dead HotSync"
e2e_wait_list_memos "after a HotSync following the dead one" "first memo" "after the dead HotSync"
