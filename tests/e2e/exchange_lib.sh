# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the export, import and backup scenarios (sourced after e2e_lib.sh): the
# File menu's entries, the program's own file dialogs driven by typing a path, and the
# text of a message box read through its Ctrl+C copy. Under a bare X server Qt has no
# platform file dialog to offer, so the dialogs driven here are Qt's own; the variables
# that would make Qt look for a desktop's dialog are cleared to keep it that way.
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION QT_QPA_PLATFORMTHEME

# Opens the main window's File menu with Alt+F and picks an entry by its mnemonic:
# e (エクスポート...), i (インポート...), b (バックアップを開く...).
e2e_file_menu() {
  e2e_focus_main
  xdotool key alt+f
  sleep 0.3
  xdotool key "$1"
}

# Answers the file dialog captioned $1 (a regular expression) with the path $2 typed
# into its file name field. With $3 the dialog's file type list is first moved down
# that many entries from the first (the export's formats: XML, CSV, text).
e2e_file_dialog() {
  local caption=$1 path=$2 down=${3:-0} i id
  e2e_wait_window "$caption"
  id=$(xdotool search --onlyvisible --name "$caption" | head -n 1)
  xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id"
  if [ "$down" -gt 0 ]; then
    # From the file name field, Tab reaches the file type list.
    xdotool key Tab
    for i in $(seq 1 "$down"); do xdotool key Down; done
    xdotool key shift+Tab
  fi
  xdotool key ctrl+a
  xdotool type --delay 10 "$path"
  sleep 0.3
  xdotool key Return
  # What follows may have the same caption (the replace question, the password prompt):
  # it is this window that must close.
  E2E_DIALOG_ID=$id
  e2e_wait_until "the file dialog $caption to close" e2e_dialog_closed
}
e2e_dialog_closed() { ! xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$E2E_DIALOG_ID"; }

# Exports the open memos through File > エクスポート... to $1 ($2: file type entries
# down from the first) and checks the program's report of $3 memos.
e2e_export() {
  e2e_file_menu e
  e2e_file_dialog '^エクスポート$' "$1" "${2:-0}"
  e2e_expect_message '^エクスポート$' "$3 件のメモをエクスポートしました"
}

# The text of the message box captioned $1, after waiting for it; the box is left open.
# Qt's message box copies nothing on Ctrl+C here: its text is selected with the mouse,
# from its first character (the icon takes the left 60 pixels) to below its last line
# (the buttons take the bottom 45), and that selection copied.
e2e_message_text() {
  local id X Y WIDTH HEIGHT SCREEN
  e2e_wait_window "$1"
  id=$(xdotool search --onlyvisible --name "$1" | tail -n 1)
  xdotool windowfocus --sync "$id"
  eval "$(xdotool getwindowgeometry --shell "$id")"
  e2e_clear_clipboard
  xdotool mousemove --window "$id" 62 12 mousedown 1 mousemove --window "$id" 200 25 \
    mousemove --window "$id" $((WIDTH - 8)) $((HEIGHT - 48)) mouseup 1
  xdotool key ctrl+c
  e2e_wait_until "a copy of the message" e2e_clipboard_copied
  E2E_DIALOG_ID=$id
  e2e_clipboard
}

# Waits for the message box captioned $1, checks that its text holds $2 (a fixed
# string), then answers it with key $3 (Return for its default button).
e2e_expect_message() {
  local caption=$1 want=$2 key=${3:-Return} text
  e2e_message_text "$caption" >"$E2E_WORK/message"
  text=$(cat "$E2E_WORK/message")
  case "$text" in
    *"$want"*) ;;
    *) echo "the message box says:" >&2; echo "$text" >&2; e2e_fail "no \"$want\" in the message $caption" ;;
  esac
  xdotool key "$key"
  # The next message may have the same caption: it is this box that must close.
  e2e_wait_until "the message $caption to close" e2e_dialog_closed
  echo "ok: the message $caption says \"$want\""
}

e2e_sha() { sha256sum "$@" | cut -d' ' -f1; }

# A handheld of user "Desk Top" with a protected memo database and category $1 at
# index 1; the memos are added by the scenario.
e2e_make_handheld_with_category() {
  "$E2E_HANDHELD_TOOL" --handheld "$(E2E_DEVICE)" init --user "Desk Top" >/dev/null
  e2e_hh create-db --password --hint "the e2e test" >/dev/null
  "$E2E_HANDHELD_TOOL" --handheld "$(E2E_DEVICE)" category add "$1" >/dev/null
}
