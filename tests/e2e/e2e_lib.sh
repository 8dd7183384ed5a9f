# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the end-to-end scenarios: each scenario script sources this file and calls
# e2e_start "$@" first. Outside X it makes a scratch HotSync root, handheld and runtime
# directory, then runs the same script again inside xvfb-run; inside X it returns and
# the scenario drives the real desktop program with xdotool key events, reads what the
# program shows through the clipboard (xclip), runs real HotSyncs and checks both
# sides' memos deciphered. Every wait polls for a condition up to a generous cap, so a
# slow or loaded machine makes a run slower, never wrong.
#
# Arguments of every scenario: tallimor hotsync tallimor-handheld tallimor-dump
# libTallimorC libTallimorN.

E2E_SKIP=77
E2E_PASSWORD=e2e-pass
E2E_APP_TITLE='Tallimor デスクトップ'
# Upper bound of any single wait; reached only when something is broken.
E2E_WAIT_CAP=${E2E_WAIT_CAP:-90}

e2e_start() {
  [ $# -eq 6 ] || { echo "usage: $0 tallimor hotsync tallimor-handheld tallimor-dump conduit notifier" >&2; exit 2; }
  E2E_TALLIMOR=$1 E2E_HOTSYNC=$2 E2E_HANDHELD_TOOL=$3 E2E_DUMP=$4
  if [ "${E2E_IN_X:-}" = 1 ]; then
    # xvfb-run may run the command even when its server lost the display to another
    # one starting at the same moment: only a display that answers counts as started.
    xdotool getdisplaygeometry >/dev/null 2>&1 || exit 0
    : >"$E2E_WORK/x-started"
    # The server holds its display now: the next scenario may start its own.
    flock -u 9 2>/dev/null || true
    exec 9>&-
    E2E_PROGRAM=
    trap e2e_inner_exit EXIT
    return 0
  fi
  local tool
  for tool in xvfb-run xdotool xclip perl; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIPPED: $tool is not installed (scripts/setup installs it); the end-to-end scenario needs an X server driven with real input events"
      exit $E2E_SKIP
    fi
  done
  E2E_WORK=$(mktemp -d /tmp/tallimor-e2e-XXXXXX)
  trap 'rm -rf "$E2E_WORK"' EXIT
  mkdir -p "$E2E_WORK/run" "$E2E_WORK/config" "$E2E_WORK/root"
  chmod 700 "$E2E_WORK/run"
  export E2E_WORK E2E_IN_X=1
  export XDG_RUNTIME_DIR=$E2E_WORK/run XDG_CONFIG_HOME=$E2E_WORK/config
  export TALLIMOR_HOTSYNC_ROOT=$E2E_WORK/root/ TALLIMOR_CONDUIT=$5 TALLIMOR_NOTIFIER=$6
  # The program is ended with SIGTERM at the end of a scenario; leak reports of a
  # killed GUI process say nothing about the scenario.
  export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
  # Where a failing scenario leaves its screenshot and the program's output.
  export E2E_ARTIFACTS=${E2E_ARTIFACTS:-$PWD}
  local status attempt
  # xvfb-run -a picks the first display without a lock file, so two servers starting at
  # the same moment can pick the same one: scenarios start their servers one at a time
  # (the lock is let go once the server answers), and a start that failed anyway is
  # tried again. The scenario itself runs only once, in the first server that answers.
  exec 9>"${TMPDIR:-/tmp}/tallimor-e2e-xvfb.lock"
  flock 9
  # -noreset: a server that resets when its last client leaves refuses the connections
  # made meanwhile, and a scenario that restarts the program can leave it no client.
  for attempt in 1 2 3 4 5; do
    status=0
    xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$0" "$@" >"$E2E_WORK/xvfb.out" 2>&1 || status=$?
    [ -e "$E2E_WORK/x-started" ] && break
  done
  exec 9>&-
  cat "$E2E_WORK/xvfb.out"
  if [ ! -e "$E2E_WORK/x-started" ]; then
    echo "SKIPPED: no X server could be started with xvfb-run (status $status); see its output above"
    exit $E2E_SKIP
  fi
  exit $status
}

e2e_inner_exit() {
  local status=$?
  if [ $status -ne 0 ]; then
    echo "--- scenario failed (status $status)" >&2
    local shot=$E2E_ARTIFACTS/$(basename "$0" .sh)-failure.png
    if command -v import >/dev/null && import -window root "$shot" 2>/dev/null; then
      echo "screen at the failure: $shot" >&2
    fi
    if [ -s "$E2E_WORK/program.log" ]; then
      echo "--- tallimor's output:" >&2
      tail -n 40 "$E2E_WORK/program.log" >&2
    fi
  fi
  e2e_stop_program
  exit $status
}

e2e_fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# Runs a command until it succeeds, at most E2E_WAIT_CAP seconds. Usage:
# e2e_wait_until "what is awaited" command [args...]
e2e_wait_until() {
  local what=$1
  shift
  local deadline=$((SECONDS + E2E_WAIT_CAP))
  until "$@"; do
    # A program that has ended shows nothing more: say so at once.
    if [ -n "${E2E_PROGRAM:-}" ] && ! kill -0 "$E2E_PROGRAM" 2>/dev/null; then
      echo "tallimor ended while waiting for: $what" >&2
      return 1
    fi
    if [ $SECONDS -ge $deadline ]; then
      echo "timed out after ${E2E_WAIT_CAP}s waiting for: $what" >&2
      return 1
    fi
    sleep 0.1
  done
}

# --- Handheld, HotSync and the desktop file -------------------------------------------

E2E_DEVICE() { echo "$E2E_WORK/handheld"; }

# tallimor-handheld on the scenario's handheld, with the password on standard input.
e2e_hh() { printf '%s\n' "$E2E_PASSWORD" | "$E2E_HANDHELD_TOOL" --handheld "$(E2E_DEVICE)" "$@"; }

# A handheld of user "Desk Top" with a protected memo database, one memo per argument,
# HotSynced once so that the desktop has the user and the memos.
e2e_make_handheld() {
  "$E2E_HANDHELD_TOOL" --handheld "$(E2E_DEVICE)" init --user "Desk Top" >/dev/null
  e2e_hh create-db --password --hint "the e2e test" >/dev/null
  local text
  for text in "$@"; do e2e_hh add "$text" >/dev/null; done
  e2e_hotsync 0 >/dev/null
}

# Runs a HotSync of the handheld and checks its exit status (0 done, 3 refused by the
# desktop program). The HotSync log lines go to standard output.
e2e_hotsync() {
  local want=$1
  shift
  local status=0
  "$E2E_HOTSYNC" sync --handheld "$(E2E_DEVICE)" "$@" >"$E2E_WORK/hotsync.out" 2>"$E2E_WORK/hotsync.err" || status=$?
  if [ "$status" -ne "$want" ]; then
    cat "$E2E_WORK/hotsync.out" "$E2E_WORK/hotsync.err" >&2
    e2e_fail "hotsync exited with $status, expected $want"
  fi
  cat "$E2E_WORK/hotsync.out"
}

e2e_record_file() {
  local found
  found=$(find "$TALLIMOR_HOTSYNC_ROOT" -name record.dat -path '*Tallimor-Vexa*' | head -n 1)
  [ -n "$found" ] || e2e_fail "no record.dat below $TALLIMOR_HOTSYNC_ROOT"
  echo "$found"
}

# The live memos of one side, deciphered, one a line in a stable order, each written as
# a JSON string (so a line break inside a memo shows as \n). The handheld's deleted
# records (attribute 0x80) and the desktop's (status bit 1) are left out.
e2e_handheld_memos() {
  e2e_hh list --json | perl -MJSON::PP -0777 -ne '
    my $json = JSON::PP->new->canonical->allow_nonref;
    print join("", sort map { $json->encode($_->{text}) . "\n" }
                   grep { !($_->{attributes} & 0x80) } @{ decode_json($_) });'
}

e2e_desktop_memos() {
  local file
  file=$(e2e_record_file)
  printf '%s\n' "$E2E_PASSWORD" | "$E2E_DUMP" --json --password "$file" | perl -MJSON::PP -0777 -ne '
    my $json = JSON::PP->new->canonical->allow_nonref;
    print join("", sort map { $json->encode($_->{text}) . "\n" }
                   grep { !($_->{status} & 1) } @{ decode_json($_)->{records} });'
}

# The memos as e2e_*_memos prints them, from plain arguments (a real line break in an
# argument becomes \n).
e2e_expected_memos() {
  perl -MJSON::PP -e '
    my $json = JSON::PP->new->canonical->allow_nonref;
    print join("", sort map { $json->encode($_) . "\n" } @ARGV);' -- "$@"
}

# Checks that one side holds exactly these memos: none missing, none twice, none more.
# Usage: e2e_expect_memos handheld|desktop "what is checked" memo...
e2e_expect_memos() {
  local side=$1 what=$2
  shift 2
  local have want
  have=$("e2e_${side}_memos")
  want=$(e2e_expected_memos "$@")
  if [ "$have" != "$want" ]; then
    echo "the $side's memos ($what):" >&2
    echo "$have" >&2
    echo "expected:" >&2
    echo "$want" >&2
    e2e_fail "$side memos differ: $what"
  fi
  echo "ok: $side holds the expected memos ($what)"
}

# --- The desktop program under X ---------------------------------------------------------

e2e_window_there() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
e2e_window_gone() { ! e2e_window_there "$1"; }

e2e_wait_window() { e2e_wait_until "window $1" e2e_window_there "$1"; }
e2e_wait_window_gone() { e2e_wait_until "window $1 to close" e2e_window_gone "$1"; }

# Gives a window of that name the input focus, waiting until X reports it focused.
e2e_focus() {
  local id
  id=$(xdotool search --onlyvisible --name "$1" | head -n 1)
  [ -n "$id" ] || e2e_fail "no window $1 to focus"
  xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id"
}

# Starts tallimor on the virtual X server (QT_QPA_PLATFORM=xcb even when the tests
# around it run offscreen), logs in with the password and waits for the main window.
# With --confirm the user has no desktop file yet, and the password is typed a second
# time into the confirmation prompt.
e2e_start_program() {
  QT_QPA_PLATFORM=xcb "$E2E_TALLIMOR" --root "$TALLIMOR_HOTSYNC_ROOT" </dev/null >>"$E2E_WORK/program.log" 2>&1 &
  E2E_PROGRAM=$!
  e2e_wait_window '^ユーザ$'
  e2e_focus '^ユーザ$'
  xdotool type --delay 20 "$E2E_PASSWORD"
  xdotool key Return
  if [ "${1:-}" = --confirm ]; then
    e2e_wait_window '^パスワードの確認$'
    e2e_focus '^パスワードの確認$'
    xdotool type --delay 20 "$E2E_PASSWORD"
    xdotool key Return
  fi
  e2e_wait_window_gone '^ユーザ$'
  e2e_wait_window "^$E2E_APP_TITLE\$"
  E2E_MAIN_WINDOW=$(xdotool search --onlyvisible --name "^$E2E_APP_TITLE\$" | head -n 1)
}

e2e_stop_program() {
  if [ -n "${E2E_PROGRAM:-}" ]; then
    kill "$E2E_PROGRAM" 2>/dev/null || true
    wait "$E2E_PROGRAM" 2>/dev/null || true
    E2E_PROGRAM=
  fi
}

# A message box of the program: a visible window with the program's caption that is not
# its main window.
e2e_message_box() {
  xdotool search --onlyvisible --name "^$E2E_APP_TITLE\$" 2>/dev/null | grep -vx "$E2E_MAIN_WINDOW" | head -n 1
}
e2e_message_box_there() { [ -n "$(e2e_message_box)" ]; }
e2e_message_box_gone() { [ -z "$(e2e_message_box)" ]; }

# Answers the program's message box with Return (its default button) and waits until it
# has closed.
e2e_dismiss_message_box() {
  e2e_wait_until "a message box of the program" e2e_message_box_there
  xdotool windowactivate --sync "$(e2e_message_box)" 2>/dev/null || true
  xdotool key Return
  e2e_wait_until "the message box to close" e2e_message_box_gone
}

# Answers a dialog found by its caption with Return (its default button) and waits
# until it has closed.
e2e_answer_dialog() {
  e2e_wait_window "$1"
  e2e_focus "$1"
  xdotool key Return
  e2e_wait_window_gone "$1"
}

e2e_focus_main() {
  xdotool windowactivate --sync "$E2E_MAIN_WINDOW" 2>/dev/null || xdotool windowfocus --sync "$E2E_MAIN_WINDOW"
}

E2E_NO_COPY='(no copy yet)'

# The clipboard as text, empty when nobody holds it.
e2e_clipboard() { xclip -o -selection clipboard 2>/dev/null || true; }

# Puts a marker text on the clipboard (xclip serves it in the background until the
# program takes the clipboard over), so that a copy that did not happen is never
# mistaken for one that did.
e2e_clear_clipboard() { printf "%s" "$E2E_NO_COPY" | xclip -i -selection clipboard >/dev/null 2>&1; }

# Copies the memos of the main window's list with real keys and prints them one a line
# in the form of e2e_*_memos: Ctrl+A puts the focus on the list, Home makes the first
# memo current (copying needs a current memo, which a delete leaves none of), Ctrl+A
# selects every memo and Ctrl+C copies them, form feeds between memos. Prints nothing
# when the copy did not happen (window disabled during a HotSync).
e2e_list_memos() {
  e2e_clear_clipboard
  e2e_focus_main
  xdotool key ctrl+a Home ctrl+a ctrl+c
  local text
  text=$(e2e_clipboard)
  [ -n "$text" ] && [ "$text" != "$E2E_NO_COPY" ] || return 0
  printf '%s' "$text" | perl -MJSON::PP -0777 -ne '
    my $json = JSON::PP->new->canonical->allow_nonref;
    s/\r\n/\n/g;
    print join("", sort map { $json->encode($_) . "\n" } split /\f/);'
}

# Makes the memo with this text the current one in the main window's list: from the
# top, copies the current memo with Ctrl+C and moves down with the arrow key until the
# copy is that memo.
e2e_select_memo() {
  local want=$1 text
  e2e_focus_main
  xdotool key ctrl+a Home
  local row
  for row in $(seq 1 50); do
    e2e_clear_clipboard
    xdotool key ctrl+c
    e2e_wait_until "a copy of the current memo" e2e_clipboard_copied
    text=$(e2e_clipboard | perl -0777 -pe 's/\r\n/\n/g')
    [ "$text" = "$want" ] && return 0
    xdotool key Down
  done
  e2e_fail "no memo \"$want\" in the program's list"
}
# Replaces a memo's text in the memo edit dialog: selects the memo, reaches the view's
# edit button from the list with Tab (its tab order: list, new memo, edit memo), checks
# with a copy that the dialog holds that memo, types the new text over all of it and
# closes the dialog with OK.
e2e_edit_memo() {
  local old=$1 new=$2 text
  e2e_select_memo "$old"
  xdotool key Tab Tab space
  e2e_wait_window '^メモの編集$'
  e2e_focus '^メモの編集$'
  e2e_clear_clipboard
  xdotool key ctrl+a ctrl+c
  e2e_wait_until "a copy of the edited text" e2e_clipboard_copied
  text=$(e2e_clipboard | perl -0777 -pe 's/\r\n/\n/g')
  [ "$text" = "$old" ] || e2e_fail "the memo edit dialog holds \"$text\", not \"$old\""
  xdotool type --delay 20 "$new"
  xdotool key Tab space
  e2e_wait_window_gone '^メモの編集$'
}

# Deletes a memo with the Delete key, confirming the question.
e2e_delete_memo() {
  e2e_select_memo "$1"
  xdotool key Delete
  e2e_answer_dialog '^メモの削除$'
}

e2e_clipboard_copied() { [ "$(e2e_clipboard)" != "$E2E_NO_COPY" ]; }

# Waits until the open program's list holds exactly these memos.
e2e_wait_list_memos() {
  local what=$1
  shift
  E2E_WANT_LIST=$(e2e_expected_memos "$@")
  if ! e2e_wait_until "the program's list to show: $what" e2e_list_is_wanted; then
    echo "the list shows:" >&2
    e2e_list_memos >&2
    echo "expected:" >&2
    echo "$E2E_WANT_LIST" >&2
    e2e_fail "the open program's list: $what"
  fi
  echo "ok: the open program's list shows the expected memos ($what)"
}
e2e_list_is_wanted() { [ "$(e2e_list_memos)" = "$E2E_WANT_LIST" ]; }

# --- Speaking to the program's message socket as another program would ---------------

E2E_SOCKET() { echo "$XDG_RUNTIME_DIR/Tallimor-Vexa"; }

# Sends one window message (number wParam lParam) to the program's socket and prints
# the reply's result; prints "none" when no reply came within the seconds given (the
# fourth argument, default 5). Exits non-zero only when the socket cannot be reached.
e2e_send_message() {
  perl -MIO::Socket::UNIX -MIO::Select -e '
    my ($path, $message, $wparam, $lparam, $wait) = @ARGV;
    my $socket = IO::Socket::UNIX->new(Type => SOCK_STREAM(), Peer => $path) or die "connect $path: $!\n";
    print $socket pack("a4 v v V V Q< q<", "TWMQ", 1, 0, $message, 0, $wparam, $lparam);
    my $select = IO::Select->new($socket);
    my $reply = "";
    my $deadline = time + $wait;
    while (length($reply) < 16) {
      my $left = $deadline - time;
      last if $left <= 0 || !$select->can_read($left);
      my $got = sysread($socket, $reply, 16 - length($reply), length($reply));
      last unless $got;
    }
    if (length($reply) == 16) {
      my ($magic, $version, $reserved, $result) = unpack("a4 v v q<", $reply);
      print "$result\n";
    } else {
      print "none\n";
    }' "$(E2E_SOCKET)" "$1" "$2" "$3" "${4:-5}"
}

# The HotSync user's directory on the desktop, where hotsync keeps HotSync.lock.
e2e_user_directory() { dirname "$(dirname "$(e2e_record_file)")"; }
