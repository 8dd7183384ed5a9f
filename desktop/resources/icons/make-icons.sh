#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the desktop program's own tool bar and window icons with ImageMagick.
# The PNGs are committed; run this again only to change a picture.
set -euo pipefail
cd "$(dirname "$0")"

tb() { convert -size 16x15 xc:none "$@"; }

# Save all: a floppy disk.
tb -fill '#2f5fa8' -stroke '#1b3766' -draw 'rectangle 1,0 14,14' \
   -stroke none -fill white -draw 'rectangle 4,1 11,6' \
   -fill '#c8ccd4' -draw 'rectangle 4,9 11,13' -fill '#1b3766' -draw 'rectangle 9,10 10,12' \
   save.png
# Cut: scissors, two rings below crossed blades.
tb -stroke '#404040' -strokewidth 1 -fill none \
   -draw 'line 5,0 10,9' -draw 'line 10,0 5,9' \
   -stroke '#b02020' -draw 'circle 4,11 4,13' -draw 'circle 11,11 11,13' \
   cut.png
# Copy: two overlapping sheets.
tb -fill white -stroke '#404040' -draw 'rectangle 1,0 9,10' -draw 'rectangle 6,4 14,14' \
   -stroke '#7080a0' -draw 'line 8,7 12,7' -draw 'line 8,9 12,9' -draw 'line 8,11 12,11' \
   copy.png
# Paste: a clipboard with a sheet on it.
tb -fill '#a0703c' -stroke '#5a3d1e' -draw 'rectangle 1,1 12,14' \
   -fill '#d8d8d8' -stroke '#404040' -draw 'rectangle 4,0 9,2' \
   -fill white -draw 'rectangle 6,5 14,14' \
   -stroke '#7080a0' -draw 'line 8,8 12,8' -draw 'line 8,10 12,10' -draw 'line 8,12 12,12' \
   paste.png
# Undo: an arrow bending back to the left.
tb -fill none -stroke '#2060b0' -strokewidth 2 -draw 'arc 3,3 14,13 270,90' \
   -draw 'line 8,3 5,3' -stroke none -fill '#2060b0' -draw 'polygon 1,3 5,0 5,6' \
   undo.png
# About: a question mark in a circle.
tb -fill '#2f5fa8' -stroke '#1b3766' -draw 'circle 7,7 7,0' \
   -fill white -stroke none -font DejaVu-Sans-Bold -pointsize 11 -gravity center \
   -annotate +0+0 '?' about.png

# Program icon (icon 128): a memo pad with a padlock.
convert -size 32x32 xc:none \
   -fill '#fdf6c8' -stroke '#6b5b2a' -draw 'rectangle 3,2 24,29' \
   -stroke '#c0a860' -draw 'line 6,9 21,9' -draw 'line 6,13 21,13' -draw 'line 6,17 21,17' \
   -fill '#b0281c' -stroke '#5a140e' -draw 'rectangle 3,1 24,5' \
   -fill none -stroke '#404040' -strokewidth 2 -draw 'arc 17,15 27,25 180,360' \
   -fill '#e0a020' -stroke '#6b4a08' -strokewidth 1 -draw 'rectangle 15,20 29,30' \
   -fill '#402000' -stroke none -draw 'rectangle 21,23 22,27' \
   app.png
# Memo edit dialog icon (icon 160): a sheet with a pencil.
convert -size 32x32 xc:none \
   -fill white -stroke '#404040' -draw 'rectangle 4,2 22,29' \
   -stroke '#7080a0' -draw 'line 7,8 19,8' -draw 'line 7,12 19,12' -draw 'line 7,16 15,16' \
   -stroke '#404040' -fill '#f0c040' -draw 'polygon 26,8 30,12 16,26 12,22' \
   -fill '#303030' -draw 'polygon 12,22 16,26 10,28' \
   edit.png

# Splitter cursor (cursor 104): two vertical bars with arrows to the left and right,
# white with a black outline so it shows on any background; hot spot (8, 8).
convert -size 17x17 xc:none \
   -fill black -draw 'rectangle 5,1 7,15' -draw 'rectangle 9,1 11,15' \
   -draw 'polygon 0,8 4,4 4,12' -draw 'polygon 16,8 12,4 12,12' \
   -fill white -draw 'line 6,2 6,14' -draw 'line 10,2 10,14' \
   -draw 'polygon 2,8 3,7 3,9' -draw 'polygon 14,8 13,7 13,9' \
   splitter104.png
