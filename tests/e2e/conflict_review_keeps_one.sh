#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# A memo edited differently on both sides is kept in both versions by a HotSync, which
# records the pair; after the reload the program offers a review, the user keeps the
# desktop's version, and the next HotSync removes the handheld's on both sides. Until
# then nothing is removed, and once reviewed the pair is not offered again.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

e2e_make_handheld "nobody touches this" "both edit this"
e2e_hh edit "$(e2e_hh list --json | perl -MJSON::PP -0777 -ne '
  print map { "$_->{id}\n" } grep { $_->{text} eq "both edit this" } @{ decode_json($_) }')" \
  "the handheld's version" >/dev/null

e2e_start_program
e2e_edit_memo "both edit this" "the desktop's version"
e2e_hotsync 0 >/dev/null
record=$(e2e_record_file)
[ -s "${record%.dat}.CFL" ] || e2e_fail "the HotSync recorded no pair beside record.dat"
e2e_expect_memos desktop "both versions kept" "nobody touches this" "the handheld's version" "the desktop's version"

# The offer, answered with its default button (yes), then the review: keep the desktop's.
e2e_dismiss_message_box
e2e_wait_window '^競合したメモの確認$'
e2e_focus '^競合したメモの確認$'
xdotool key alt+d
e2e_wait_window_gone '^競合したメモの確認$'
e2e_expect_memos desktop "the handheld's version marked deleted" "nobody touches this" "the desktop's version"
e2e_expect_memos handheld "not removed before the next HotSync" "nobody touches this" "the handheld's version" "the desktop's version"
[ ! -e "${record%.dat}.CFL" ] || e2e_fail "the reviewed pair is still recorded"
e2e_wait_list_memos "after the review" "nobody touches this" "the desktop's version"

e2e_hotsync 0 >/dev/null
e2e_expect_memos handheld "after the next HotSync" "nobody touches this" "the desktop's version"
e2e_expect_memos desktop "after the next HotSync" "nobody touches this" "the desktop's version"
e2e_wait_list_memos "after the next HotSync" "nobody touches this" "the desktop's version"
e2e_message_box_gone || e2e_fail "a reviewed pair was offered again"
echo "ok: the reviewed pair is not offered again"
