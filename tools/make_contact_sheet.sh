#!/bin/sh
# Makes docs/effects.png: every effect at four moments of a shipped song, the view
# as the recorder draws it (HUD included) at three quarters of its size, one row
# per effect.
# Usage, from the repository root after building:
#   sh tools/make_contact_sheet.sh [build dir] [song]
set -e
program=${1:-build}/app/chipdisk
song=${2:-data/songs/night_drive.xm}
fps=5
moments="12 27 42 57"  # seconds into the song
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
args=""
for effect in 0 1 2 3; do
  nice -n 10 "$program" --record "$tmp/e$effect" --seconds 58 --fps $fps --effect $effect --song "$song" >/dev/null
  for s in $moments; do
    frame=$(printf '%s/e%d/frame-%06d.png' "$tmp" $effect $((s * fps + 1)))
    # the view alone: the star around it is the same in every frame
    convert "$frame" -crop 395x260+35+35 +repage "$tmp/e$effect-$s.png"
    args="$args -label \"effect $effect, $s s\" $tmp/e$effect-$s.png"
  done
done
eval montage $args -tile 4x4 -geometry 296x195+3+3 -background '"#101018"' -fill '"#c8c8d8"' \
  -font DejaVu-Sans -pointsize 13 -depth 8 -define png:exclude-chunks=date,time -strip docs/effects.png
ls -l docs/effects.png
