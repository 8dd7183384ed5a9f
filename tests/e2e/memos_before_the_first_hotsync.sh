#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# A user whose first HotSync failed has no desktop file yet. The password given at the
# login is asked for a second time, memos written in the desktop program are saved to a
# new record.dat that carries that password's digest and the memos enciphered with it,
# and the next HotSync carries them to the handheld, where they read back deciphered
# beside the handheld's own memos.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

"$E2E_HANDHELD_TOOL" --handheld "$(E2E_DEVICE)" init --user "Desk Top" >/dev/null
e2e_hh create-db --password --hint "the e2e test" >/dev/null
e2e_hh add "written on the handheld" >/dev/null
# The link fails early in the conduit: the user is known now, the file is not.
TALLIMOR_SYNC_FAULT=call=3,kind=comm e2e_hotsync 1 >/dev/null
record_file_there() { find "$TALLIMOR_HOTSYNC_ROOT" -name record.dat | grep -q .; }
if record_file_there; then
  e2e_fail "a failed first HotSync left a desktop file"
fi
grep -q 'Name=Desk Top' "$TALLIMOR_HOTSYNC_ROOT/users.ini" || e2e_fail "the failed HotSync did not add the user"
echo "ok: the first HotSync failed and left the user without a desktop file"

e2e_start_program --confirm
xdotool key ctrl+n
e2e_wait_window '^メモの編集$'
e2e_focus '^メモの編集$'
xdotool type --delay 20 "written before the first HotSync"
xdotool key Tab space
e2e_wait_window_gone '^メモの編集$'
e2e_wait_list_memos "the new memo" "written before the first HotSync"
e2e_focus_main
xdotool key ctrl+s
e2e_wait_until "the desktop file to be made" record_file_there
if grep -q "written before the first HotSync" "$(e2e_record_file)"; then
  e2e_fail "the new desktop file holds the memo unenciphered"
fi
# The new file is the memo database, and the dump checks the password against it.
e2e_expect_memos desktop "in the new desktop file" "written before the first HotSync"
"$E2E_DUMP" --json "$(e2e_record_file)" | grep -q '"name": *"TallimorDB"' ||
  e2e_fail "the new desktop file does not carry the memo database's name"
if printf 'not the password\n' | "$E2E_DUMP" --json --password "$(e2e_record_file)" >/dev/null 2>&1; then
  e2e_fail "the new desktop file opened with a wrong password"
fi
echo "ok: the memo was saved enciphered to a new desktop file that checks the password"

e2e_hotsync 0 >/dev/null
echo "ok: hotsync went through with the program open"
e2e_expect_memos handheld "after the HotSync" "written on the handheld" "written before the first HotSync"
e2e_expect_memos desktop "after the HotSync" "written on the handheld" "written before the first HotSync"
e2e_wait_list_memos "reloaded after the HotSync" "written on the handheld" "written before the first HotSync"
