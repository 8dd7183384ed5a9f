#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Five small faults of the real window, each checked as a user sees it, in screenshots
# of the program under X read pixel by pixel (the text is dark, the window's
# background and the list's white are not): the About box's notice shown whole, a
# category name pasted beyond its 15 bytes cut as the memo editor cuts a paste, the
# window's text drawn in the desktop's default font, the category label clear of the
# window's left edge, and a click in the category column that leaves the start of the
# memos' text in view. Each check runs its own program and names its fault when it
# fails; every check runs, and the scenario fails at the end if any did.
set -euo pipefail
shopt -s inherit_errexit
. "$(dirname "$0")/e2e_lib.sh"
e2e_start "$@"

FIRST="HotSync でハンドヘルドと同期する"
SECOND="パスワード付きメモ"
THIRD="llllllllllllllll"
# The About box's notice is the two memos' texts end to end.
NOTICE="$FIRST$SECOND"
# The list's first column, as wide as the program makes it; the category column follows.
CONTENT_WIDTH=300

# Takes a screenshot of a window into a PPM file (read by shot_query).
shot() { import -window "$1" -depth 8 "ppm:$2" 2>/dev/null || e2e_fail "no screenshot of window $1"; }

# Reads a screenshot and prints what one query finds, numbers separated by blanks:
#   list:  the list's inner left x and inner right x, then for each band of dark rows
#          in its first column below the header "top bottom left right": the rows not
#          highlighted (their text is dark on white), in the order of the list
#   label: the leftmost dark x of the band of rows just above the list (the category
#          label and its combo box), then the x of the list's left border
#   about: for each band of dark rows right of the icon and below the OK button (the
#          lines of the notice) "top bottom left right"
shot_query() {
  perl -e '
    use strict; use warnings;
    my ($query, $file, $contentWidth) = @ARGV;
    open my $fh, "<:raw", $file or die "$file: $!\n";
    local $/; my $data = <$fh>;
    $data =~ /\AP6\s+(\d+)\s+(\d+)\s+255\s/ or die "$file: not a PPM image\n";
    my ($W, $H, $start) = ($1, $2, $+[0]);
    sub px { my ($x, $y) = @_; unpack "C3", substr($data, $start + ($y * $W + $x) * 3, 3) }
    sub white { my @c = px(@_); $c[0] >= 250 && $c[1] >= 250 && $c[2] >= 250 }
    # Dark grey to black: text, borders; not the blue behind a highlighted row.
    sub dark { my @c = px(@_); $c[0] + $c[1] + $c[2] < 480 && $c[2] < $c[0] + 60 }
    my @bg = px(1, int($H / 2));
    sub drawn { my @c = px(@_); abs($c[0] - $bg[0]) + abs($c[1] - $bg[1]) + abs($c[2] - $bg[2]) > 60 }
    # Bands of consecutive rows holding a dark pixel between x0 and x1.
    sub bands {
      my ($y0, $y1, $x0, $x1) = @_;
      my @found; my $open;
      for my $y ($y0 .. $y1) {
        my ($l, $r);
        for my $x ($x0 .. $x1) { next unless dark($x, $y); $l //= $x; $r = $x }
        if (defined $l) {
          if ($open) { $open->[1] = $y; $open->[2] = $l if $l < $open->[2]; $open->[3] = $r if $r > $open->[3] }
          else { $open = [$y, $y, $l, $r] }
        } elsif ($open) { push @found, $open; undef $open }
      }
      push @found, $open if $open;
      @found;
    }
    if ($query eq "list" || $query eq "label") {
      my $ym = int($H / 2);
      my ($in) = grep { white($_, $ym) } 0 .. int($W / 2);
      defined $in or die "no list found in $file\n";
      my $out = $in; $out++ while $out + 1 < $W && white($out + 1, $ym);
      my $top = $ym; $top-- while $top > 0 && drawn($in - 1, $top - 1);
      if ($query eq "list") {
        # The first band is the title of the header.
        my (undef, @rows) = bands($top + 1, $ym, $in + 2, $in + $contentWidth - 10);
        print join(" ", $in, $out, map { @$_ } @rows), "\n";
      } else {
        my $y = $top - 1;
        $y-- while $y > 0 && !grep { drawn($_, $y) } 0 .. int($W / 2);
        my $bottom = $y;
        $y-- while $y > 0 && grep { drawn($_, $y) } 0 .. int($W / 2);
        my ($left) = sort { $a <=> $b } map { $_->[2] } bands($y + 1, $bottom, 0, int($W / 2));
        print defined $left ? $left : -1, " ", $in - 1, "\n";
      }
    } elsif ($query eq "about") {
      # Columns holding dark pixels: the icon, a gap, then the texts and the button.
      my @used = map { my $x = $_; (grep { dark($x, $_) } 0 .. $H - 1) ? 1 : 0 } 0 .. $W - 1;
      my $x = 0; $x++ while $x < $W && !$used[$x];
      my $gap = 0;
      while ($x < $W && $gap < 5) { $gap = $used[$x] ? 0 : $gap + 1; $x++ }
      $x++ while $x < $W && !$used[$x];
      # The bottom of the OK button: the end of the longest drawn run down a column of
      # the right half (its border; no letter is that tall).
      my ($run, $longest, $buttonBottom) = (0, 0, -1);
      for my $bx (int($W / 2) .. $W - 1) {
        $run = 0;
        for my $by (0 .. $H - 1) {
          $run = drawn($bx, $by) ? $run + 1 : 0;
          ($longest, $buttonBottom) = ($run, $by) if $run > $longest;
        }
      }
      $longest >= 16 or die "no OK button found in $file\n";
      my @lines = bands($buttonBottom + 1, $H - 1, $x, $W - 1);
      print join(" ", map { @$_ } @lines), "\n";
    } else { die "unknown query $query\n" }
  ' "$1" "$2" "$CONTENT_WIDTH"
}

# The rows of the list in a screenshot of the main window; sets LIST_IN, LIST_OUT and
# ROWS (the "top bottom left right" quadruples).
read_list() {
  local numbers
  numbers=$(shot_query list "$1")
  read -r LIST_IN LIST_OUT ROWS_TEXT <<<"$numbers"
  read -r -a ROWS <<<"$ROWS_TEXT"
  [ "${#ROWS[@]}" -eq 8 ] || e2e_fail "$2: expected two rows of text beside the highlighted one, found: $numbers"
}
row_width() { echo $((ROWS[$1 * 4 + 3] - ROWS[$1 * 4 + 2] + 1)); }

start() {
  e2e_start_program
  e2e_wait_list_memos "the three memos" "$FIRST" "$SECOND" "$THIRD"
  e2e_focus_main
}

# The current memo as the list copies it.
current_memo() {
  e2e_clear_clipboard
  xdotool key ctrl+c
  e2e_wait_until "a copy of the current memo" e2e_clipboard_copied
  e2e_clipboard
}

check_label_margin() {
  local fault="the category label touches the window's left edge"
  start
  shot "$E2E_MAIN_WINDOW" "$E2E_WORK/label.ppm"
  local left border
  read -r left border <<<"$(shot_query label "$E2E_WORK/label.ppm")"
  # The label keeps the margin of the list below it.
  [ "$left" -ge "$border" ] ||
    e2e_fail "$fault: the カテゴリ： row starts at x=$left, left of the list's border at x=$border"
  echo "ok: the category label starts $left pixels from the window's left edge (the list at $border)"
}

check_category_column_click() {
  local fault="a click in the category column scrolls the list sideways"
  start
  xdotool key ctrl+a End  # the last memo current, the first two drawn unhighlighted
  shot "$E2E_MAIN_WINDOW" "$E2E_WORK/before.ppm"
  read_list "$E2E_WORK/before.ppm" "$fault"
  # The window is sized so that the list shows the category column in part: the list
  # grows and shrinks with the window.
  local inner=$((LIST_OUT - LIST_IN + 1)) WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$E2E_MAIN_WINDOW" | grep -E '^(WIDTH|HEIGHT)=')"
  xdotool windowsize --sync "$E2E_MAIN_WINDOW" $((WIDTH - inner + CONTENT_WIDTH + 60)) "$HEIGHT" ||
    xdotool windowsize "$E2E_MAIN_WINDOW" $((WIDTH - inner + CONTENT_WIDTH + 60)) "$HEIGHT"
  sleep 0.5
  shot "$E2E_MAIN_WINDOW" "$E2E_WORK/before.ppm"
  read_list "$E2E_WORK/before.ppm" "$fault"
  inner=$((LIST_OUT - LIST_IN + 1))
  if [ "$inner" -le $((CONTENT_WIDTH + 40)) ] || [ "$inner" -ge $((CONTENT_WIDTH + 150)) ]; then
    e2e_fail "$fault: the list is $inner pixels wide; the check needs the category column shown in part"
  fi
  local before=("${ROWS[@]}")
  # The middle of the second row's text, well inside the category column.
  xdotool mousemove --window "$E2E_MAIN_WINDOW" $((LIST_IN + CONTENT_WIDTH + 30)) \
    $(((ROWS[4] + ROWS[5]) / 2)) click 1
  sleep 0.5
  local memo
  memo=$(current_memo)
  [ "$memo" = "$SECOND" ] || e2e_fail "$fault: the click made \"$memo\" current, not \"$SECOND\""
  shot "$E2E_MAIN_WINDOW" "$E2E_WORK/after.ppm"
  read_list "$E2E_WORK/after.ppm" "$fault"
  [ "${ROWS[*]:0:4}" = "${before[*]:0:4}" ] ||
    e2e_fail "$fault: the first row's text moved from (top bottom left right) ${before[*]:0:4} to ${ROWS[*]:0:4}"
  echo "ok: the first memo's text stays at x=${ROWS[2]} after a click in the category column"
}

check_about_box() {
  local fault="the About box's notice is cut off"
  start
  xdotool key ctrl+a End
  shot "$E2E_MAIN_WINDOW" "$E2E_WORK/reference.ppm"
  read_list "$E2E_WORK/reference.ppm" "$fault"
  # The notice drawn whole is as wide as the two rows holding its two halves, less a
  # blank where it wraps at one.
  local want=$(($(row_width 0) + $(row_width 1)))
  xdotool key alt+h
  sleep 0.5
  xdotool key a
  e2e_wait_window '^Tallimor デスクトップについて$'
  local about
  about=$(xdotool search --onlyvisible --name '^Tallimor デスクトップについて$' | head -n 1)
  sleep 0.5
  shot "$about" "$E2E_WORK/about.ppm"
  local lines have=0 i
  read -r -a lines <<<"$(shot_query about "$E2E_WORK/about.ppm")"
  [ "${#lines[@]}" -ge 4 ] || e2e_fail "$fault: no line of text below the version"
  for ((i = 0; i < ${#lines[@]}; i += 4)); do have=$((have + lines[i + 3] - lines[i + 2] + 1)); done
  if [ "$have" -lt $((want - 6)) ] || [ "$have" -gt $((want + 2)) ]; then
    e2e_fail "$fault: its lines of text are $have pixels wide in all, \"$NOTICE\" takes $want in the list"
  fi
  echo "ok: the About box shows its notice whole ($have pixels of text on $((${#lines[@]} / 4)) lines, $want in the list)"
  e2e_focus '^Tallimor デスクトップについて$'
  xdotool key Return
  e2e_wait_window_gone '^Tallimor デスクトップについて$'
}

# Adds a category through Tools > Categories > New, pasting the name with Ctrl+V, and
# checks the name field holds the cut name before OK.
paste_category() {
  local fault=$1 pasted=$2 want=$3 text
  printf '%s' "$pasted" | xclip -i -selection clipboard >/dev/null 2>&1
  e2e_focus '^カテゴリの編集$'
  xdotool key alt+n
  e2e_wait_window '^新規カテゴリー$'
  e2e_focus '^新規カテゴリー$'
  xdotool key ctrl+v
  sleep 0.3
  e2e_clear_clipboard
  xdotool key ctrl+a ctrl+c
  # An empty field copies nothing: the marker stays.
  local tries
  for tries in $(seq 1 30); do e2e_clipboard_copied && break || sleep 0.1; done
  text=$(e2e_clipboard)
  [ "$text" != "$E2E_NO_COPY" ] || text=
  [ "$text" = "$want" ] || e2e_fail "$fault: after pasting \"$pasted\" the field holds \"$text\", not \"$want\""
  xdotool key Return
  e2e_wait_window_gone '^新規カテゴリー$'
}

# The names of the saved categories starting with "ab", decoded, in code point order.
saved_category_names() {
  printf '%s\n' "$E2E_PASSWORD" | "$E2E_DUMP" --json --password "$(e2e_record_file)" | perl -MJSON::PP -MEncode -0777 -ne '
    binmode STDOUT, ":encoding(UTF-8)";
    print join("\n", sort grep { /^ab/ } map { Encode::decode("cp932", pack("H*", $_->{name})) }
                    @{ decode_json($_)->{categories} }), "\n";'
}
saved_names_are_wanted() { [ "$(saved_category_names 2>/dev/null)" = "$E2E_WANT_NAMES" ]; }

check_category_paste() {
  local fault="a category name pasted beyond 15 bytes is not cut at the limit"
  start
  xdotool key alt+t
  sleep 0.5
  xdotool key c
  e2e_wait_window '^カテゴリの編集$'
  paste_category "$fault" abcdefghijklmnopqrst abcdefghijklmno
  # 2 + 18 bytes: the sixth double-byte character ends at byte 14, the seventh would
  # end at 16.
  paste_category "$fault" "abカテゴリの名前です" "abカテゴリの名"
  e2e_focus '^カテゴリの編集$'
  xdotool key Return
  e2e_wait_window_gone '^カテゴリの編集$'
  e2e_focus_main
  xdotool key ctrl+s
  E2E_WANT_NAMES=$(printf '%s\n' abcdefghijklmno abカテゴリの名)
  e2e_wait_until "the saved file to hold the two categories" saved_names_are_wanted ||
    e2e_fail "$fault: the saved categories named ab... are: $(saved_category_names)"
  echo "ok: pasted category names were cut to 15 bytes and saved (abcdefghijklmno, abカテゴリの名)"
}

# Sets TEXT_WIDTH to the third memo's width in the list while fontconfig's default
# sans-serif family is $1.
text_width_with_default() {
  local family=$1 config=$E2E_WORK/fonts-$RANDOM.conf
  cat >"$config" <<EOF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <match target="pattern">
    <test qual="any" name="family"><string>sans-serif</string></test>
    <edit name="family" mode="prepend" binding="strong"><string>$family</string></edit>
  </match>
</fontconfig>
EOF
  export FONTCONFIG_FILE=$config
  start
  xdotool key ctrl+a End Home  # the first memo current, the other two drawn unhighlighted
  shot "$E2E_MAIN_WINDOW" "$E2E_WORK/font.ppm"
  read_list "$E2E_WORK/font.ppm" "the font check"
  e2e_stop_program
  unset FONTCONFIG_FILE
  TEXT_WIDTH=$(row_width 1)
}

check_desktop_font() {
  local fault="the window's text is not drawn in the desktop's font"
  local family
  for family in "DejaVu Sans" "DejaVu Sans Mono"; do
    fc-list : family | grep -qx "$family" ||
      e2e_fail "$fault: the check needs the font $family (Debian package fonts-dejavu-core)"
  done
  local narrow wide
  text_width_with_default "DejaVu Sans"
  narrow=$TEXT_WIDTH
  text_width_with_default "DejaVu Sans Mono"
  wide=$TEXT_WIDTH
  # An l takes 0.28 em in DejaVu Sans and 0.6 em in DejaVu Sans Mono.
  [ $((wide * 10)) -ge $((narrow * 17)) ] ||
    e2e_fail "$fault: \"$THIRD\" is $narrow pixels wide under DejaVu Sans and $wide under DejaVu Sans Mono"
  echo "ok: the window follows the default font (\"$THIRD\": $narrow pixels in DejaVu Sans, $wide in DejaVu Sans Mono)"
}

e2e_make_handheld "$FIRST" "$SECOND" "$THIRD"
failed=()
# SMALL_WINDOW_CHECKS names the checks to run, all by default.
for check in ${SMALL_WINDOW_CHECKS:-check_label_margin check_category_column_click check_about_box check_desktop_font check_category_paste}; do
  # A check that fails exits its own shell (stopping its program) and the next runs.
  set +e
  (
    set -e
    trap e2e_stop_program EXIT
    "$check"
  )
  status=$?
  set -e
  [ "$status" -eq 0 ] || failed+=("$check")
done
[ "${#failed[@]}" -eq 0 ] || e2e_fail "checks failed: ${failed[*]}"
echo "ok: no fault found by: ${SMALL_WINDOW_CHECKS:-all five checks}"
