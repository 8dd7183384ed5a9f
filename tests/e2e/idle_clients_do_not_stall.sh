#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Clients of the program's message socket that connect and send nothing must not hold
# the program up: a HotSync with 14 such clients waiting takes about as long as one
# without, and so does one with more idle clients than the program serves at a time.
# A message whose handling shows a message box is answered before the box is closed.
set -euo pipefail
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

e2e_make_handheld "first memo"
e2e_start_program

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
timed_hotsync() {
  local start
  start=$(now_ms)
  e2e_hotsync 0 >/dev/null
  echo $(( $(now_ms) - start ))
}
# Holds $1 idle connections to the socket for a minute, in the background.
idle_clients() {
  perl -MIO::Socket::UNIX -e '
    my @held;
    for (1 .. $ARGV[1]) {
      push @held, IO::Socket::UNIX->new(Type => SOCK_STREAM(), Peer => $ARGV[0]) or die "connect: $!\n";
    }
    print "connected\n";
    close STDOUT;
    sleep 60;' "$(E2E_SOCKET)" "$1" >"$E2E_WORK/idle.out" &
  idle=$!
  e2e_wait_until "$1 idle clients to connect" grep -q connected "$E2E_WORK/idle.out"
}

plain=$(timed_hotsync)
echo "a HotSync without idle clients took ${plain} ms"
for count in 14 40; do
  idle_clients "$count"
  took=$(timed_hotsync)
  kill "$idle" 2>/dev/null || true
  wait "$idle" 2>/dev/null || true
  echo "a HotSync with $count idle clients took ${took} ms"
  [ "$took" -lt $((plain + 4000)) ] || e2e_fail "$count idle clients delayed the HotSync by $((took - plain)) ms"
done
echo "ok: idle clients do not hold the program up"

# Code 7 shows the refusal notice; the answer must not wait for the box to be closed.
answer=$(e2e_send_message 5120 7 0 3)
[ "$answer" = 0 ] || e2e_fail "code 7 was answered \"$answer\" while its message box was open"
e2e_dismiss_message_box
echo "ok: a message that shows a box is answered at once"
answer=$(e2e_send_message 5120 0 0)
[ "$answer" = 5120 ] || e2e_fail "the probe after the notice was answered \"$answer\""
