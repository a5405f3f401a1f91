#!/bin/sh
# Installs every Debian package that building, running and testing the chipdisk
# needs. Idempotent: when everything is present it only runs dpkg-query.
set -e
PKGS="build-essential cmake pkg-config git
libwxgtk3.2-dev libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri
libglib2.0-dev libpng-dev zlib1g-dev libopenmpt-dev libgme-dev libsidplayfp-dev libsdl2-dev libkissfft-dev libpulse-dev
libgtest-dev googletest
clang libclang-rt-14-dev clang-format black
xvfb xauth xdotool x11-utils imagemagick openbox
pulseaudio pulseaudio-utils sox openmpt123
python3 python3-pil python3-gi python3-numpy xfonts-terminus
dbus dbus-bin playerctl
ffmpeg
dpkg-dev file desktop-file-utils appstream lintian"
missing=""
for p in $PKGS; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing="$missing $p"
  fi
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
