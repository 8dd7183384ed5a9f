#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Edits on both sides between two HotSyncs, with the desktop program open throughout:
# a memo edited on one side only takes that edit on both; a memo edited differently on
# both sides is kept in both versions on both sides (the handheld's under its old id);
# a memo deleted on one side and edited on the other keeps the edit on both. No text is
# lost, the open program's list shows the result, a second HotSync changes nothing, and
# both files hold the memos enciphered, readable with the password.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

e2e_make_handheld "handheld edits this" "desktop edits this" "both edit this" \
  "handheld deletes, desktop edits" "desktop deletes, handheld edits" "nobody touches this"

# The handheld's id of a live memo with this text.
handheld_id() {
  e2e_hh list --json | TEXT=$1 perl -MJSON::PP -0777 -ne '
    print join("\n", map { $_->{id} }
                     grep { !($_->{attributes} & 0x80) && $_->{text} eq $ENV{TEXT} }
                     @{ decode_json($_) }), "\n";'
}

both_id=$(handheld_id "both edit this")
e2e_hh edit "$(handheld_id "handheld edits this")" "edited on the handheld" >/dev/null
e2e_hh edit "$both_id" "both: the handheld's version" >/dev/null
e2e_hh delete "$(handheld_id "handheld deletes, desktop edits")" >/dev/null
e2e_hh edit "$(handheld_id "desktop deletes, handheld edits")" "kept: the handheld's edit" >/dev/null

e2e_start_program
e2e_edit_memo "desktop edits this" "edited on the desktop"
e2e_edit_memo "both edit this" "both: the desktop's version"
e2e_edit_memo "handheld deletes, desktop edits" "kept: the desktop's edit"
e2e_delete_memo "desktop deletes, handheld edits"

# Not saved by hand: the program writes its edits when the HotSync starts.
e2e_hotsync 0 >"$E2E_WORK/first.log"
cat "$E2E_WORK/first.log"
grep -q "was modified on both" "$E2E_WORK/first.log" ||
  e2e_fail "the HotSync log does not report the memo modified on both sides"
grep -q "modified on one platform and deleted on the other" "$E2E_WORK/first.log" ||
  e2e_fail "the HotSync log does not report the memos modified on one side, deleted on the other"

# After each HotSync the program offers to review the memo kept in both versions, for
# as long as it is not reviewed: not now ("no", Escape).
decline_review() {
  e2e_wait_until "the offer to review" e2e_message_box_there
  xdotool windowactivate --sync "$(e2e_message_box)" 2>/dev/null || true
  xdotool key Escape
  e2e_wait_until "the offer to close" e2e_message_box_gone
}
decline_review

expected=("edited on the handheld" "edited on the desktop"
          "both: the handheld's version" "both: the desktop's version"
          "kept: the desktop's edit" "kept: the handheld's edit" "nobody touches this")
e2e_expect_memos handheld "after the HotSync" "${expected[@]}"
e2e_expect_memos desktop "after the HotSync" "${expected[@]}"
[ "$(handheld_id "both: the handheld's version")" = "$both_id" ] ||
  e2e_fail "the handheld's version of the memo edited on both sides lost its id $both_id"
e2e_wait_list_memos "reloaded after the HotSync" "${expected[@]}"

# Both versions are now ordinary memos: the next HotSync neither duplicates nor drops any.
e2e_hotsync 0 >"$E2E_WORK/second.log"
if grep -q "was modified on both\|deleted on the other" "$E2E_WORK/second.log"; then
  cat "$E2E_WORK/second.log" >&2
  e2e_fail "the second HotSync found conflicts again"
fi
decline_review
e2e_expect_memos handheld "after a second HotSync" "${expected[@]}"
e2e_expect_memos desktop "after a second HotSync" "${expected[@]}"
e2e_wait_list_memos "after a second HotSync" "${expected[@]}"

# Deciphered above with the password; on disk no memo text stands in the clear.
for file in "$(e2e_record_file)" "$(E2E_DEVICE)/TallimorDB.pdb"; do
  for text in "${expected[@]}"; do
    if grep -qF "$text" "$file"; then e2e_fail "\"$text\" stands unenciphered in $file"; fi
  done
done
echo "ok: both files hold the memos enciphered"
