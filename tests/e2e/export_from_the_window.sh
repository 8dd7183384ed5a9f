#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# File > エクスポート... in the real window: the KeePass 2 XML, CSV and text files it
# writes hold the same bytes as tallimor-dump's export of the same store (the format is
# taken from the file type chosen in the dialog, or from the suffix typed); an existing
# file is replaced only after the question, and "いいえ" leaves it as it was.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
. "$(dirname "$0")/exchange_lib.sh"
e2e_start "$@"

e2e_make_handheld_with_category 仕事
e2e_hh add --category 1 $'会議メモ\n二行目' >/dev/null
e2e_hh add --private $'secret, "quoted" & <xml>\n%% not a header' >/dev/null
e2e_hh add "plain memo" >/dev/null
e2e_hotsync 0 >/dev/null
RECORD=$(e2e_record_file)
OUT=$E2E_WORK/out
mkdir -p "$OUT"
# Each KeePass export draws fresh entry UUIDs; everything else must be the same bytes.
dump() { printf '%s\n' "$E2E_PASSWORD" | "$E2E_DUMP" --password --format "$1" "$RECORD" 2>/dev/null | same_uuids; }
same_uuids() { sed 's|<UUID>[^<]*</UUID>|<UUID/>|'; }

e2e_start_program
e2e_wait_list_memos "after the login" $'会議メモ\n二行目' $'secret, "quoted" & <xml>\n%% not a header' "plain memo"

# KeePass 2 XML: the dialog's first file type, its suffix added.
e2e_export "$OUT/memos" 0 3
# CSV: chosen in the file type list, the suffix added.
e2e_export "$OUT/chosen" 1 3
# Text: the typed suffix decides, whatever file type the list shows.
e2e_export "$OUT/typed.txt" 0 3
for pair in keepass-xml:memos.xml csv:chosen.csv text:typed.txt; do
  format=${pair%%:*} file=${pair#*:}
  [ -f "$OUT/$file" ] || e2e_fail "no $file written ($(ls "$OUT"))"
  dump "$format" >"$E2E_WORK/dump.$format"
  same_uuids <"$OUT/$file" >"$OUT/$file.cmp"
  cmp -s "$E2E_WORK/dump.$format" "$OUT/$file.cmp" || { diff "$E2E_WORK/dump.$format" "$OUT/$file.cmp" >&2 || true; e2e_fail "$file differs from tallimor-dump --format $format"; }
  rm "$OUT/$file.cmp"
  echo "ok: $file holds the bytes of tallimor-dump --format $format"
done

# An existing file: "いいえ" (the default button) leaves it, "はい" replaces it.
printf 'kept until the user says yes\n' >"$OUT/existing.csv"
before=$(e2e_sha "$OUT/existing.csv")
e2e_file_menu e
e2e_file_dialog '^エクスポート$' "$OUT/existing.csv" 1
e2e_expect_message '^エクスポート$' "existing.csv は既にあります" Return
sleep 1
e2e_message_box_gone || e2e_fail "a message after the export was refused"
[ "$(e2e_sha "$OUT/existing.csv")" = "$before" ] || e2e_fail "いいえ changed the existing file"
echo "ok: いいえ left the existing file unchanged"
e2e_file_menu e
e2e_file_dialog '^エクスポート$' "$OUT/existing.csv" 1
e2e_expect_message '^エクスポート$' "existing.csv は既にあります" alt+y
e2e_expect_message '^エクスポート$' "3 件のメモをエクスポートしました"
cmp "$E2E_WORK/dump.csv" "$OUT/existing.csv" >&2 || e2e_fail "はい did not replace the file with the export"
[ -z "$(find "$OUT" -name '.*')" ] || e2e_fail "a temporary file was left beside the export: $(ls -a "$OUT")"
echo "ok: はい replaced the existing file, atomically, with the export"
