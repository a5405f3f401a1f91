#!/bin/sh
# Makes docs/levels.png: effects 1 and 2 at the same moment of a shipped song, of the
# copy of it 18 dB quieter (tools/gen_songs.py --levels), and of that copy with the
# fixed scale (CHIPDISK_PLAIN=levels): one row per effect.
# Usage, from the repository root after building:
#   sh tools/make_levels_sheet.sh [build dir] [song name] [second]
set -e
program=${1:-build}/app/chipdisk
name=${2:-night_drive}
second=${3:-27}
fps=5
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
/usr/bin/python3 tools/gen_songs.py --levels "$tmp/copies" >/dev/null
args=""
for effect in 1 2; do
  for take in "original data/songs/$name.xm" "-18dB $tmp/copies/$name-18dB.xm" "-18dB,fixed $tmp/copies/$name-18dB.xm"; do
    label=${take%% *}
    song=${take#* }
    plain=""
    [ "$label" = "-18dB,fixed" ] && plain=levels
    CHIPDISK_PLAIN=$plain nice -n 10 "$program" --record "$tmp/$effect$label" --seconds $((second + 1)) --fps $fps \
      --effect $effect --song "$song" >/dev/null
    frame=$(printf '%s/%d%s/frame-%06d.png' "$tmp" $effect "$label" $((second * fps + 1)))
    convert "$frame" -crop 395x260+35+35 +repage "$tmp/$effect$label.png"
    args="$args -label \"effect $effect, $label\" $tmp/$effect$label.png"
  done
done
eval montage $args -tile 3x2 -geometry 296x195+3+3 -background '"#101018"' -fill '"#c8c8d8"' \
  -font DejaVu-Sans -pointsize 13 -depth 8 -define png:exclude-chunks=date,time -strip docs/levels.png
ls -l docs/levels.png
