#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# The session's screen locks while the program shows memos with an unsaved edit: on
# the screen saver's ActiveChanged(true), sent over a private session bus, the program
# writes record.dat (the edit is in it), empties its window and shows the user dialog;
# the memos come back only with the password.
set -euo pipefail
if [ -z "${E2E_OWN_BUS:-}" ]; then
  if ! command -v dbus-run-session >/dev/null || ! command -v dbus-send >/dev/null; then
    echo "SKIPPED: dbus-run-session or dbus-send is not installed (scripts/setup installs dbus)"
    exit 77
  fi
  E2E_OWN_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

e2e_make_handheld "first memo" "edit me" "third memo"
e2e_start_program
e2e_edit_memo "edit me" "edited, not saved"
e2e_expect_memos desktop "before the lock: the edit is not saved yet" "first memo" "edit me" "third memo"

# The program listens from its start; the signal may come from any sender and path.
dbus-send --session --type=signal /org/freedesktop/ScreenSaver \
  org.freedesktop.ScreenSaver.ActiveChanged boolean:true
e2e_wait_window '^ユーザ$'
e2e_expect_memos desktop "saved by the lock" "first memo" "edited, not saved" "third memo"
main_empty() { [ -z "$(e2e_list_memos)" ]; }
echo "ok: the user dialog is up and record.dat holds the edit"

# Cancelled: the window stays empty.
e2e_focus '^ユーザ$'
xdotool key Escape
e2e_wait_window_gone '^ユーザ$'
e2e_wait_until "an empty window while locked" main_empty
echo "ok: no memo is shown while locked"

# The user command and the password bring them back.
e2e_focus_main
xdotool key alt+t u
e2e_wait_window '^ユーザ$'
e2e_focus '^ユーザ$'
xdotool type --delay 20 "$E2E_PASSWORD"
xdotool key Return
e2e_wait_window_gone '^ユーザ$'
e2e_wait_list_memos "after the password" "first memo" "edited, not saved" "third memo"
