#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# End to end under a virtual X server, with real input events: a handheld with a
# protected memo database is HotSynced to the desktop; in the desktop program's window
# the user logs in, writes a new memo with Ctrl+N, files it with OK and saves with
# Ctrl+S; the next HotSync carries it to the handheld, whose listing shows it
# deciphered. Arguments: tallimor hotsync tallimor-handheld libTallimorC libTallimorN.
set -euo pipefail
in_x=no
if [ "${1:-}" = --in-x ]; then in_x=yes; shift; fi
tallimor=$1 hotsync=$2 handheld_tool=$3 conduit=$4 notifier=$5
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "needs $tool"; exit 77; }
done

if [ $in_x = no ]; then
  work=$(mktemp -d /tmp/tallimor-view-e2e-XXXXXX)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/run" "$work/config" "$work/root"
  chmod 700 "$work/run"
  export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config
  export TALLIMOR_HOTSYNC_ROOT=$work/root/ TALLIMOR_CONDUIT=$conduit TALLIMOR_NOTIFIER=$notifier
  export ASAN_OPTIONS=detect_leaks=0 E2E_DEVICE=$work/handheld
fi
device=$E2E_DEVICE password=e2e-pass
hh() { printf '%s\n' "$password" | "$handheld_tool" --handheld "$device" "$@"; }

# Waits until xdotool finds (or, with "gone", no longer finds) a window of that name.
wait_window() {
  local name=$1 want=${2:-there}
  for _ in $(seq 1 300); do
    if xdotool search --name "$name" >/dev/null 2>&1; then
      [ "$want" = there ] && return 0
    else
      [ "$want" = gone ] && return 0
    fi
    sleep 0.1
  done
  echo "window $name did not become $want" >&2
  return 1
}

session() {
  # The program runs on the virtual X server, also when the tests around it are offscreen.
  QT_QPA_PLATFORM=xcb "$tallimor" --root "$TALLIMOR_HOTSYNC_ROOT" </dev/null >/dev/null 2>&1 &
  program=$!
  trap 'kill "$program" 2>/dev/null || true' EXIT
  wait_window '^ユーザ$'
  xdotool search --name '^ユーザ$' windowfocus --sync type --delay 20 "$password"
  xdotool key Return
  wait_window '^ユーザ$' gone
  xdotool search --name '^Tallimor デスクトップ$' windowfocus --sync
  xdotool key ctrl+n
  wait_window '^メモの編集$'
  xdotool search --name '^メモの編集$' windowfocus --sync type --delay 20 "typed on the desktop"
  xdotool key Return
  xdotool type --delay 20 "second line"
  xdotool key Tab space  # from the text to OK
  wait_window '^メモの編集$' gone
  xdotool key ctrl+s
  # The HotSync runs while the program is up: the notifier has it write its data first,
  # so it does not matter whether the key above has been handled yet.
  "$hotsync" sync --handheld "$device" >/dev/null
  kill "$program"
  wait "$program" || true
}
if [ $in_x = yes ]; then
  session
  exit 0
fi

"$handheld_tool" --handheld "$device" init --user "Desk Top" >/dev/null
hh create-db --password --hint "the test" >/dev/null
hh category add "仕事" >/dev/null
hh add "from the handheld" >/dev/null
"$hotsync" sync --handheld "$device" >/dev/null

xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --in-x "$@"

listing=$(hh list --json)
echo "$listing"
grep -q '"text": "typed on the desktop\\u000asecond line"' <<<"$listing"
grep -q '"text": "from the handheld"' <<<"$listing"
