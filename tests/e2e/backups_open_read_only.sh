#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# File > バックアップを開く... in the real window: the handheld's .pdb, record.BAK and a
# category archive .ARC each open, after their password, in a window of their own whose
# title says read-only; コピー puts the chosen memo on the clipboard, the .ARC's memo is
# exported from that window in its category, and none of the files changes.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
. "$(dirname "$0")/exchange_lib.sh"
e2e_start "$@"

e2e_make_handheld_with_category Business
e2e_hh add $'first memo\nof the backup' >/dev/null
archived=$(printf '%s\n' "$E2E_PASSWORD" | "$E2E_HANDHELD_TOOL" --handheld "$(E2E_DEVICE)" add --category 1 "to archive")
e2e_hotsync 0 >/dev/null
e2e_hh delete --archive "$archived" >/dev/null
e2e_hotsync 0 >/dev/null
DIR=$(dirname "$(e2e_record_file)")
PDB=$(E2E_DEVICE)/TallimorDB.pdb BAK=$DIR/record.BAK ARC=$DIR/Business.ARC
for file in "$PDB" "$BAK" "$ARC"; do [ -f "$file" ] || e2e_fail "no $file ($(ls "$DIR"))"; done
before=$(sha256sum "$PDB" "$BAK" "$ARC")

e2e_start_program
# Opens $1 read-only and checks that its window's コピー gives $2.
open_backup() {
  local file=$1 want=$2 name title id text
  name=$(basename "$file")
  title="^${name//./\\.} \\(読み取り専用\\) - Tallimor\$"
  e2e_file_menu b
  e2e_file_dialog '^バックアップを開く$' "$file"
  e2e_wait_window '^バックアップを開く$'
  e2e_focus '^バックアップを開く$'
  xdotool type --delay 20 "$E2E_PASSWORD"
  xdotool key Return
  e2e_wait_window "$title"
  echo "ok: $name opened in a window titled read-only"
  id=$(xdotool search --onlyvisible --name "$title" | head -n 1)
  xdotool windowfocus --sync "$id"
  e2e_clear_clipboard
  xdotool key alt+c
  e2e_wait_until "a copy from the $name window" e2e_clipboard_copied
  text=$(e2e_clipboard)
  [ "$text" = "$want" ] || e2e_fail "コピー in the $name window gave \"$text\", not \"$want\""
  echo "ok: コピー in the $name window put \"${want%%$'\n'*}\" on the clipboard"
  # Edit keys do nothing to a read-only window.
  xdotool key Delete ctrl+v ctrl+x ctrl+s
  E2E_BACKUP_WINDOW=$id
}
open_backup "$PDB" $'first memo\nof the backup'
open_backup "$BAK" $'first memo\nof the backup'
open_backup "$ARC" "to archive"
import -window root "$E2E_ARTIFACTS/backup-window.png" 2>/dev/null || true

# Exported from the archive's window, its memo is in the category it was archived from.
xdotool windowfocus --sync "$E2E_BACKUP_WINDOW"
xdotool key alt+e
e2e_file_dialog '^エクスポート$' "$E2E_WORK/archive.csv"
e2e_wait_until "the export's report" e2e_window_there '^エクスポート$'
xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^エクスポート$' | tail -n 1)"
xdotool key Return
e2e_wait_until "the export of the archive" test -s "$E2E_WORK/archive.csv"
printf 'category,text,private\n"Business","to archive",false\n' >"$E2E_WORK/archive.want"
cmp -s "$E2E_WORK/archive.csv" "$E2E_WORK/archive.want" \
  || { cat -A "$E2E_WORK/archive.csv" >&2; e2e_fail "the archive's memo was not exported in its category"; }
echo "ok: the archive's memo exported from its window in category Business"

[ "$before" = "$(sha256sum "$PDB" "$BAK" "$ARC")" ] || e2e_fail "a backup file changed"
echo "ok: the .pdb, record.BAK and .ARC are byte for byte as before"
