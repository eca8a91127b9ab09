#!/bin/bash
# Renders the pictures of the caption presets shown in the README (doc/captions/*.png): each
# preset draws doc/captions/sample.vtt, and the frame at 1.7 s is laid over a gradient.
# Usage: scripts/caption-pictures.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
qeltitle=$build/tools/qeltitle/qeltitle
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for preset in clean social news karaoke; do
  timeout 120 "$qeltitle" captions doc/captions/sample.vtt -o "$work/$preset/%04d.png" --preset "$preset" \
    --size 960x540 >/dev/null 2>&1
  timeout 60 ffmpeg -v error -y -f lavfi -i "gradients=s=960x540:c0=0x1d3557:c1=0x8a5a44:x0=0:y0=0:x1=960:y1=540" \
    -i "$work/$preset/0042.png" -filter_complex "[0][1]overlay,crop=960:270:0:270" -frames:v 1 \
    "doc/captions/$preset.png"
  echo "doc/captions/$preset.png"
done
