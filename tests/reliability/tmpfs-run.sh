#!/bin/sh
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one command with a directory moved onto a small tmpfs that has only FREE_KIB
# kibibytes free, so that the command meets a full disk there; then puts the directory
# back on the real disk, whatever the command did, and exits with its status. It needs a
# mount namespace of its own (run it under `unshare -m`, or `unshare -rm` when not root),
# so that the mounts vanish with it.
#
#     tmpfs-run.sh DIR FREE_KIB COMMAND [ARGUMENT...]
#
# Exit status: the command's; 90 to 95 when the tmpfs could not be set up or taken down.
set -u
dir=$1
free_kib=$2
shift 2

scratch=$(mktemp -d) || exit 90
mount -t tmpfs -o size=2m,mode=0700 tallimor-full "$scratch" || exit 91
cp -a "$dir/." "$scratch/" || exit 92
# Everything beyond FREE_KIB is taken by a filler file; a page is the least a file takes.
avail=$(df -k --output=avail "$scratch" | tail -n 1)
fill=$((avail - free_kib))
if [ "$fill" -gt 0 ]; then
  head -c "$((fill * 1024))" /dev/zero >"$scratch/.filler" 2>/dev/null
fi
mount --bind "$scratch" "$dir" || exit 93

"$@"
status=$?

umount "$dir" || exit 94
rm -f "$scratch/.filler"
# Back on the disk: the directory as the command left it.
find "$dir" -mindepth 1 -delete || exit 95
cp -a "$scratch/." "$dir/" || exit 95
umount "$scratch"
rmdir "$scratch"
exit "$status"
