#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# File > インポート... in the real window, all or nothing: a CSV export that holds a memo
# code page 932 cannot hold is refused with a message naming that memo, and adds
# nothing; then the window's own text and CSV exports, imported back into the open
# store, add every memo again (in its category), which tallimor-dump shows once saved
# and the handheld holds after the next HotSync.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
. "$(dirname "$0")/exchange_lib.sh"
e2e_start "$@"

MEMO1=$'会議メモ\n二行目' MEMO2="plain memo"
e2e_make_handheld_with_category 仕事
e2e_hh add --category 1 "$MEMO1" >/dev/null
e2e_hh add "$MEMO2" >/dev/null
e2e_hotsync 0 >/dev/null
OUT=$E2E_WORK/out
mkdir -p "$OUT"

e2e_start_program
e2e_wait_list_memos "after the login" "$MEMO1" "$MEMO2"
e2e_export "$OUT/memos.txt" 0 2
e2e_export "$OUT/memos.csv" 0 2

# The second memo of this file holds an emoji: nothing of the file may be added.
printf 'category,text,private\n"仕事","fine",false\n"仕事","smile 😀",false\n' >"$OUT/bad.csv"
e2e_file_menu i
e2e_file_dialog '^インポート$' "$OUT/bad.csv"
e2e_expect_message '^インポート$' "2 件目のメモを取り込めません"
grep -q "シフト JIS で表せない文字" "$E2E_WORK/message" || e2e_fail "the refusal does not give the reason: $(cat "$E2E_WORK/message")"
grep -q "U+1F600" "$E2E_WORK/message" || e2e_fail "the refusal does not name the character: $(cat "$E2E_WORK/message")"
xdotool key ctrl+s
e2e_wait_list_memos "after the refused import" "$MEMO1" "$MEMO2"
e2e_expect_memos desktop "saved after the refused import" "$MEMO1" "$MEMO2"

for file in memos.txt memos.csv; do
  e2e_file_menu i
  e2e_file_dialog '^インポート$' "$OUT/$file"
  e2e_expect_message '^インポート$' "2 件のメモを取り込みました"
done
e2e_wait_list_memos "after both imports" "$MEMO1" "$MEMO1" "$MEMO1" "$MEMO2" "$MEMO2" "$MEMO2"
xdotool key ctrl+s
e2e_expect_memos desktop "saved after both imports" "$MEMO1" "$MEMO1" "$MEMO1" "$MEMO2" "$MEMO2" "$MEMO2"
# Each memo came back in its category: 会議メモ three times in 仕事, the other Unfiled.
cats=$(printf '%s\n' "$E2E_PASSWORD" | "$E2E_DUMP" --json --password "$(e2e_record_file)" | perl -MJSON::PP -0777 -ne '
  my $d = decode_json($_); my %n = map { $_->{index} => $_->{name} } @{$d->{categories}};
  print join("", sort map { ($_->{category} ? $n{$_->{category}} : "-") . " " . (split /\n/, $_->{text})[0] . "\n" }
                 grep { !($_->{status} & 1) } @{$d->{records}});')
# The dump names categories by their stored bytes in hex.
work=$(printf '仕事' | iconv -t CP932 | od -An -tx1 | tr -d ' \n')
want=$(printf '%s\n' "- plain memo" "- plain memo" "- plain memo" "$work 会議メモ" "$work 会議メモ" "$work 会議メモ" | sort)
[ "$cats" = "$want" ] || { echo "$cats" >&2; echo "expected:" >&2; echo "$want" >&2; e2e_fail "the imported memos' categories"; }
echo "ok: the imported memos kept their categories"

e2e_hotsync 0 >/dev/null
e2e_expect_memos handheld "after the HotSync" "$MEMO1" "$MEMO1" "$MEMO1" "$MEMO2" "$MEMO2" "$MEMO2"
