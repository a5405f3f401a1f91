#!/bin/sh
# Makes docs/preview.webp, the README's animated preview: each effect for three
# seconds, recorded with the chipdisk's own recorder, 15 frames a second.
# Usage, from the repository root after building: sh tools/make_preview.sh [build dir]
set -e
program=${1:-build}/app/chipdisk
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
n=0
for effect in 0 1 2 3; do
  "$program" --record "$tmp/e$effect" --seconds 3 --fps 15 --effect $effect --song data/songs/night_drive.xm
  for f in "$tmp/e$effect"/frame-*.png; do
    n=$((n + 1))
    mv "$f" "$tmp/$(printf 'all-%04d.png' $n)"
  done
done
ffmpeg -hide_banner -loglevel error -y -framerate 15 -i "$tmp/all-%04d.png" \
  -c:v libwebp_anim -lossless 0 -quality 70 -loop 0 -pix_fmt yuva420p docs/preview.webp
ls -l docs/preview.webp
