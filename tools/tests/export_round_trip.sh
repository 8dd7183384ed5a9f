#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# The export's round trips with the real peers: memos in several categories (Japanese
# text, line breaks, a private memo, an empty one, text that looks like markup or like
# a header of the text form) are made on an emulated handheld and HotSynced; then
#  1. the KeePass 2 XML export goes through `keepassxc-cli import` and
#     `keepassxc-cli export -f csv`, and the groups, titles and notes must equal what
#     `tallimor-dump --json --password` shows (private memos keep their tag);
#  2. the CSV and the text export are imported into an emptied copy of the store, and
#     the memos read back must equal the originals, in order;
#  3. the handheld's .pdb, record.BAK and an .ARC (beside record.dat and alone) open
#     read-only: their bytes do not change, and the .pdb shows what the .BAK shows;
#  4. damaged files are refused with a clear error and nothing on standard output.
# Arguments: hotsync tallimor-handheld tallimor-dump conduit notifier importer.
set -euo pipefail
[ $# -eq 6 ] || { echo "usage: $0 hotsync tallimor-handheld tallimor-dump conduit notifier importer" >&2; exit 2; }
HOTSYNC=$1 HANDHELD=$2 DUMP=$3 IMPORTER=$6
if ! command -v keepassxc-cli >/dev/null; then
  echo "SKIPPED: keepassxc-cli is not installed (scripts/setup installs the Debian package keepassxc)"
  exit 77
fi
WORK=$(mktemp -d /tmp/tallimor-export-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export TALLIMOR_HOTSYNC_ROOT=$WORK/root/ TALLIMOR_CONDUIT=$4 TALLIMOR_NOTIFIER=$5 TALLIMOR_HANDHELD=$WORK/hh
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
PW='パス1'
fail() { echo "FAILED: $*" >&2; exit 1; }
hh() { printf '%s\n' "$PW" | "$HANDHELD" "$@" >/dev/null; }

"$HANDHELD" init --user "Taro" >/dev/null
printf '%s\n%s\n' "$PW" "$PW" | "$HANDHELD" create-db --password --hint ヒント >/dev/null
for name in 仕事 個人 Travel; do "$HANDHELD" category add "$name" >/dev/null; done
hh add --category 1 $'会議メモ\n二行目\n三行目'
hh add --category 2 --private $'秘密の暗証番号 1234\n銀行'
hh add --category 3 $'%% not a header\n%%* nor this\n"quoted", comma, <xml> & amp'
hh add $'English memo\n\nwith a blank line'
archived=$(printf '%s\n' "$PW" | "$HANDHELD" add --category 1 'to archive')
deleted=$(printf '%s\n' "$PW" | "$HANDHELD" add --category 2 'to delete')
"$HOTSYNC" sync >/dev/null 2>&1 || fail "first HotSync"
hh delete --archive "$archived"
hh delete "$deleted"
"$HOTSYNC" sync >/dev/null 2>&1 || fail "second HotSync"
DIR=$WORK/root/Taro/Tallimor-Vexa
ARC=$(find "$DIR" -name '*.ARC' | head -n 1)
[ -n "$ARC" ] || fail "the HotSync made no archive"
# Memos the handheld keeps none of: an empty one, a private one ending in a line end.
printf 'category,text,private\n"Travel","",false\n"個人","末尾の改行\n",true\n' >"$WORK/extra.csv"
printf '%s\n' "$PW" | "$IMPORTER" csv "$WORK/extra.csv" "$DIR/record.dat" >/dev/null || fail "adding the extra memos"

dump() { printf '%s\n' "$PW" | "$DUMP" --password "$@"; }
dump --json "$DIR/record.dat" >"$WORK/dump.json"

# 1. KeePassXC.
dump --format keepass-xml "$DIR/record.dat" >"$WORK/memos.xml" 2>/dev/null
printf 'kdbx-pass\nkdbx-pass\n' | keepassxc-cli import -q -p "$WORK/memos.xml" "$WORK/memos.kdbx" >/dev/null 2>&1 \
  || fail "keepassxc-cli import refused the export"
printf 'kdbx-pass\n' | keepassxc-cli export -q -f csv "$WORK/memos.kdbx" >"$WORK/keepass.csv" 2>/dev/null
printf 'kdbx-pass\n' | keepassxc-cli export -q -f xml "$WORK/memos.kdbx" >"$WORK/keepass.xml" 2>/dev/null
perl -CSD -MJSON::PP -e '
  use strict; use warnings;
  sub slurp { local $/; open my $f, "<:raw", shift or die; my $t = <$f>; utf8::decode($t); $t }
  my $dump = JSON::PP->new->decode(slurp($ARGV[0]));
  my %name = (0 => "Unfiled");
  for my $c (@{$dump->{categories}}) {
    next if $c->{index} == 0;
    my $n = pack("H*", $c->{name}); $name{$c->{index}} = $n;  # code page 932 bytes
  }
  # Category names as UTF-8: the export gives them; the dump keeps the stored bytes.
  my @expected;
  for my $r (@{$dump->{records}}) {
    next if $r->{status} & 3;
    my $cat = $name{$r->{category}} // "Unfiled";
    if ($cat ne "Unfiled") { open my $p, "-|:raw", "sh", "-c", "printf %s \"\$1\" | iconv -f CP932 -t UTF-8", "x", $cat or die; local $/; $cat = <$p>; utf8::decode($cat); }
    my ($title) = split /\n/, $r->{text}, 2; $title //= "";
    push @expected, join("\x1f", $cat, $title, $r->{text});
  }
  # The CSV that keepassxc-cli writes: RFC 4180, quoted fields, a header row.
  my $csv = slurp($ARGV[1]); my @rows; my @row; my $field = "";
  while ($csv =~ /\G(?:"((?:[^"]|"")*)"|([^,\n]*))(,|\n|\z)/gc) {
    my ($v, $end) = (defined $1 ? $1 : $2, $3); $v =~ s/""/"/g; push @row, $v;
    if ($end ne ",") { push @rows, [@row]; @row = (); last if $end eq ""; }
  }
  @rows = grep { @$_ > 1 } @rows; my $header = shift @rows;
  my @got = map { my ($g) = $_->[0] =~ m{^Tallimor/(.*)$}; join("\x1f", $g // "?", $_->[1], $_->[5]) } @rows;
  my @e = sort @expected; my @g = sort @got;
  die "KeePassXC holds " . scalar(@g) . " entries, the dump " . scalar(@e) . " memos\n" unless @e == @g;
  for my $i (0 .. $#e) { die "differs:\n  dump:    $e[$i]\n  keepass: $g[$i]\n" unless $e[$i] eq $g[$i]; }
  my %groups = map { (split /\x1f/)[0] => 1 } @e;
  my $lines = 0; $lines += () = (split /\x1f/, $_, 3)[2] =~ /\n/g for @e; $lines += @e;
  my $private = grep { !($_->{status} & 3) && $_->{private} } @{$dump->{records}};
  my $tags = () = slurp($ARGV[2]) =~ /<Tags>private<\/Tags>/g;
  die "private memos: $private in the dump, $tags tagged in KeePassXC\n" unless $private == $tags;
  printf "keepass-xml round trip: %d memos, %d categories, %d lines, %d private tags equal\n",
         scalar(@e), scalar(keys %groups), $lines, $tags;
' "$WORK/dump.json" "$WORK/keepass.csv" "$WORK/keepass.xml" || fail "the KeePassXC round trip"

# 2. CSV and text, read back by the import.
memos_of() {  # category index, private flag and text of each live memo, in file order
  perl -MJSON::PP -e 'local $/; my $d = JSON::PP->new->decode(<STDIN>);
    my %n = map { $_->{index} => $_->{name} } @{$d->{categories}};
    for my $r (@{$d->{records}}) { next if $r->{status} & 3;
      print join("|", $r->{category} ? $n{$r->{category}} : "", $r->{private} ? 1 : 0, unpack("H*", $r->{text})), "\n" }'
}
memos_of <"$WORK/dump.json" >"$WORK/original.memos"
for format in csv text; do
  dump --format "$format" "$DIR/record.dat" >"$WORK/export.$format" 2>/dev/null
  mkdir -p "$WORK/$format"
  cp "$DIR/record.dat" "$WORK/$format/record.dat"
  printf '%s\n' "$PW" | "$IMPORTER" --clear "$format" "$WORK/export.$format" "$WORK/$format/record.dat" >/dev/null \
    || fail "importing the $format export"
  dump --json "$WORK/$format/record.dat" 2>/dev/null | memos_of >"$WORK/$format.memos"
  cmp -s "$WORK/original.memos" "$WORK/$format.memos" || { diff "$WORK/original.memos" "$WORK/$format.memos" >&2; fail "$format export read back differs"; }
  echo "$format round trip: $(wc -l <"$WORK/$format.memos") memos read back equal"
done

# 3. Backups open read-only.
cp "$ARC" "$WORK/alone.ARC"
before=$(sha256sum "$WORK/hh/TallimorDB.pdb" "$DIR/record.BAK" "$ARC" "$WORK/alone.ARC")
dump --format text "$WORK/hh/TallimorDB.pdb" >"$WORK/pdb.txt" 2>/dev/null || fail "the .pdb does not open"
dump --format text "$DIR/record.BAK" >"$WORK/bak.txt" 2>/dev/null || fail "record.BAK does not open"
cmp -s "$WORK/pdb.txt" "$WORK/bak.txt" || fail "the .pdb and record.BAK show different memos"
dump --format text "$ARC" >"$WORK/arc.txt" 2>"$WORK/arc.err" || fail "the .ARC does not open"
grep -q 'checked against the record.dat beside it' "$WORK/arc.err" || fail "no note for the .ARC: $(cat "$WORK/arc.err")"
grep -qx 'to archive' "$WORK/arc.txt" || fail "the archived memo is not in the .ARC"
dump --format csv "$WORK/alone.ARC" >/dev/null 2>"$WORK/alone.err" || fail "the .ARC alone does not open"
grep -q 'deciphers every memo to valid text' "$WORK/alone.err" || fail "no note for the lone .ARC"
status=0; printf 'wrong\n' | "$DUMP" --password --format csv "$WORK/alone.ARC" >"$WORK/out" 2>/dev/null || status=$?
[ "$status" = 3 ] && [ ! -s "$WORK/out" ] || fail "a wrong password opened the lone .ARC ($status)"
[ "$before" = "$(sha256sum "$WORK/hh/TallimorDB.pdb" "$DIR/record.BAK" "$ARC" "$WORK/alone.ARC")" ] \
  || fail "a backup changed"
echo "backups: .pdb $(grep -c '^%%\*\? ' "$WORK/pdb.txt") memos = record.BAK; .ARC $(grep -c '^%%\*\? ' "$WORK/arc.txt") memo, beside and alone; bytes unchanged"

# 4. Damaged files.
head -c 120 "$WORK/hh/TallimorDB.pdb" >"$WORK/short.pdb"
head -c 300 "$DIR/record.BAK" >"$WORK/short.BAK"
printf 'not a database at all, but long enough to have a header of seventy-eight bytes....' >"$WORK/text.pdb"
for bad in short.pdb short.BAK text.pdb; do
  status=0; dump --format keepass-xml "$WORK/$bad" >"$WORK/out" 2>"$WORK/err" || status=$?
  [ "$status" = 1 ] && [ ! -s "$WORK/out" ] && grep -q 'error' "$WORK/err" || fail "$bad: status $status, $(cat "$WORK/err")"
done
echo "damaged files: 3 refused with an error and no output"
