#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# What the program leaves on the X clipboard, seen from outside with xclip: a copied
# memo is offered with the password-manager hint on the clipboard and the selection;
# with the clearing option on it is gone after the delay, but a text another program
# put there meanwhile stays, and so does a cut's text, whose memo is deleted.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

# The list's first memo is left out: the library's way of reaching a memo starts with
# the whole list selected.
e2e_make_handheld "first memo" "copied secret" "cut secret"
mkdir -p "$XDG_CONFIG_HOME/Tallimor"
printf '[Preferences]\nClearClipboard=1\nClearClipboardSeconds=5\n' >"$XDG_CONFIG_HOME/Tallimor/Tallimor.ini"
e2e_start_program

targets() { xclip -o -selection "$1" -t TARGETS 2>/dev/null || true; }
clipboard_empty() { [ -z "$(e2e_clipboard)" ]; }

e2e_select_memo "copied secret"
e2e_clear_clipboard
xdotool key ctrl+c
copied_at=$SECONDS
e2e_wait_until "the copy" e2e_clipboard_copied
[ "$(e2e_clipboard)" = "copied secret" ] || e2e_fail "the copy holds \"$(e2e_clipboard)\""
for selection in clipboard primary; do
  targets "$selection" | grep -qx 'x-kde-passwordManagerHint' ||
    { targets "$selection" >&2; e2e_fail "the $selection's targets lack the password-manager hint"; }
  [ "$(xclip -o -selection "$selection" -t x-kde-passwordManagerHint)" = secret ] ||
    e2e_fail "the $selection's hint is not \"secret\""
done
echo "ok: the copy is offered with the hint on the clipboard and the selection"

e2e_wait_until "the copy to be cleared" clipboard_empty
waited=$((SECONDS - copied_at))
[ "$waited" -ge 4 ] || e2e_fail "the copy was cleared after ${waited}s, before its 5 s"
echo "ok: the copy was cleared after about ${waited}s"

# Another program takes the clipboard before the delay runs out: its text stays.
e2e_focus_main
xdotool key ctrl+c
e2e_wait_until "the second copy" e2e_clipboard_copied
printf 'not the program'"'"'s' | xclip -i -selection clipboard >/dev/null 2>&1
sleep 7
[ "$(e2e_clipboard)" = "not the program's" ] || e2e_fail "another program's text was touched: \"$(e2e_clipboard)\""
echo "ok: another program's text is left alone"

# A cut's text is the only way back to the memo it deleted: never cleared.
e2e_select_memo "cut secret"
xdotool key ctrl+x
e2e_wait_until "the cut" e2e_clipboard_copied
sleep 7
[ "$(e2e_clipboard)" = "cut secret" ] || e2e_fail "the cut's text is gone: \"$(e2e_clipboard)\""
echo "ok: a cut's text stays"
