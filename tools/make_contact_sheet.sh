#!/bin/sh
# Makes docs/effects.png: every effect at four moments of a shipped song, the view
# as the recorder draws it (HUD included) at three quarters of its size, one row
# per effect. With --levels, docs/levels.png instead: effects 1 and 2 at one moment
# of a shipped song, of its copy 18 dB quieter (tools/gen_songs.py --levels), and of
# that copy with the fixed scale (CHIPDISK_PLAIN=levels). With --fast, docs/fastpath.png:
# every effect at one moment drawn plainly (CHIPDISK_PLAIN=1), drawn the cheaper way,
# and their difference eight times brighter.
# Usage, from the repository root after building:
#   sh tools/make_contact_sheet.sh [build dir] [song]
#   sh tools/make_contact_sheet.sh --levels [build dir] [song name] [second]
#   sh tools/make_contact_sheet.sh --fast [build dir] [song] [second]
set -e
levels=false
fast=false
[ "$1" = --levels ] && levels=true && shift
[ "$1" = --fast ] && fast=true && shift
program=${1:-build}/app/chipdisk
fps=5
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
args=""

# record LABEL SECOND PLAIN ARGS...: the view at SECOND of a recording, labelled, for the
# sheet; PLAIN is handed to the program as CHIPDISK_PLAIN
record() {
  label=$1
  second=$2
  plain=$3
  shift 3
  CHIPDISK_PLAIN=$plain nice -n 10 "$program" --record "$tmp/rec" --seconds $((second + 1)) --fps $fps "$@" >/dev/null
  frame=$(printf '%s/rec/frame-%06d.png' "$tmp" $((second * fps + 1)))
  # the view alone: the star around it is the same in every frame
  convert "$frame" -crop 395x260+35+35 +repage "$tmp/$label.png"
  rm -rf "$tmp/rec"
  args="$args -label \"$(echo "$label" | tr _ ' ')\" $tmp/$label.png"
}

if $fast; then
  song=${2:-data/songs/night_drive.xm}
  second=${3:-27}
  out=docs/fastpath.png
  tiles=3x4
  for effect in 0 1 2 3; do
    record "effect_$effect,_plain" $second 1 --effect $effect --song "$song"
    record "effect_$effect,_fast" $second "" --effect $effect --song "$song"
    convert "$tmp/effect_$effect,_plain.png" "$tmp/effect_$effect,_fast.png" -compose difference -composite \
      -evaluate multiply 8 "$tmp/effect_$effect,_difference_x8.png"
    args="$args -label \"effect $effect, difference x 8\" $tmp/effect_$effect,_difference_x8.png"
  done
elif $levels; then
  name=${2:-night_drive}
  second=${3:-27}
  out=docs/levels.png
  tiles=3x2
  /usr/bin/python3 tools/gen_songs.py --levels "$tmp/copies" >/dev/null
  for effect in 1 2; do
    record "effect_$effect,_original" $second "" --effect $effect --song "data/songs/$name.xm"
    record "effect_$effect,_-18dB" $second "" --effect $effect --song "$tmp/copies/$name-18dB.xm"
    record "effect_$effect,_-18dB,_fixed" $second levels --effect $effect --song "$tmp/copies/$name-18dB.xm"
  done
else
  song=${2:-data/songs/night_drive.xm}
  out=docs/effects.png
  tiles=4x4
  for effect in 0 1 2 3; do
    for s in 12 27 42 57; do  # seconds into the song
      record "effect_$effect,_${s}_s" $s "" --effect $effect --song "$song"
    done
  done
fi
eval montage $args -tile $tiles -geometry 296x195+3+3 -background '"#101018"' -fill '"#c8c8d8"' \
  -font DejaVu-Sans -pointsize 13 -depth 8 -define png:exclude-chunks=date,time -strip $out
ls -l $out
