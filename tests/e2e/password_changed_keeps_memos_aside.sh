#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# The password is changed on the handheld while the desktop holds a new and an edited
# memo under the old one. The HotSync keeps them aside in record.OLD and says so in its
# log; the desktop program, logged in with the new password, asks for the old one and
# brings them back; the next HotSync carries them to the handheld. Afterwards both sides
# hold every memo exactly once, each deciphering, with the new password, to the text
# that was typed.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

OLD_PASSWORD=$E2E_PASSWORD
NEW_PASSWORD=e2e-new-pass

e2e_make_handheld "kept on both sides" "edited on the desktop"

e2e_start_program
e2e_wait_list_memos "after the login" "kept on both sides" "edited on the desktop"
e2e_edit_memo "edited on the desktop" "edited under the old password"
xdotool key ctrl+n
e2e_wait_window '^メモの編集$'
e2e_focus '^メモの編集$'
xdotool type --delay 20 "new under the old password"
xdotool key Tab space
e2e_wait_window_gone '^メモの編集$'
e2e_wait_list_memos "before the save" \
  "kept on both sides" "edited under the old password" "new under the old password"
e2e_focus_main
xdotool key ctrl+s
saved_under_old() {
  [ "$(e2e_desktop_memos 2>/dev/null)" = "$(e2e_expected_memos \
    "kept on both sides" "edited under the old password" "new under the old password")" ]
}
e2e_wait_until "the desktop file to hold the memos typed" saved_under_old
e2e_stop_program
echo "ok: the desktop file holds a new and an edited memo under the old password"

printf '%s\n%s\n' "$OLD_PASSWORD" "$NEW_PASSWORD" |
  "$E2E_HANDHELD_TOOL" --handheld "$(E2E_DEVICE)" password >/dev/null
E2E_PASSWORD=$NEW_PASSWORD
e2e_expect_memos handheld "the handheld under its new password" \
  "kept on both sides" "edited on the desktop"

log=$(e2e_hotsync 0)
echo "$log" | grep -q "The password was changed on Palm organizer. 2 records changed on the Desktop under the old password were kept aside in" ||
  { echo "$log" >&2; e2e_fail "the HotSync log does not say that two memos were kept aside"; }
kept=$(dirname "$(e2e_record_file)")/record.OLD
[ -f "$kept" ] || e2e_fail "no record.OLD beside the desktop file"
echo "ok: the HotSync kept the two memos aside in record.OLD and logged it"
e2e_expect_memos handheld "after the HotSync that kept them aside" \
  "kept on both sides" "edited on the desktop"

# Logged in with the new password, the program asks for the old one for the kept memos.
QT_QPA_PLATFORM=xcb "$E2E_TALLIMOR" --root "$TALLIMOR_HOTSYNC_ROOT" </dev/null >>"$E2E_WORK/program.log" 2>&1 &
E2E_PROGRAM=$!
e2e_wait_window '^ユーザ$'
E2E_MAIN_WINDOW=$(xdotool search --onlyvisible --name "^$E2E_APP_TITLE\$" | head -n 1)
e2e_focus '^ユーザ$'
xdotool type --delay 20 "$NEW_PASSWORD"
xdotool key Return
e2e_wait_window '^以前のパスワード$'
e2e_focus '^以前のパスワード$'
xdotool type --delay 20 "$OLD_PASSWORD"
xdotool key Return
e2e_wait_window_gone '^以前のパスワード$'
e2e_dismiss_message_box  # the memos are back
e2e_wait_window_gone '^ユーザ$'
[ ! -e "$kept" ] || e2e_fail "record.OLD is still there after its memos were brought back"
e2e_wait_list_memos "with the kept memos back" \
  "kept on both sides" "edited under the old password" "new under the old password"
echo "ok: the old password brought the kept memos back"

e2e_hotsync 0 >/dev/null
e2e_expect_memos handheld "after the next HotSync, with the new password" \
  "kept on both sides" "edited under the old password" "new under the old password"
e2e_expect_memos desktop "after the next HotSync, with the new password" \
  "kept on both sides" "edited under the old password" "new under the old password"
e2e_wait_list_memos "reloaded after the HotSync" \
  "kept on both sides" "edited under the old password" "new under the old password"
