#!/bin/bash
# Renders the pictures of the caption presets shown in the README and doc/captions.md (doc/captions/*.png): each
# preset draws doc/captions/sample.vtt over a generated clip with `captions --over`, and the lower
# half of the frame at 1.7 s is kept.
# Usage: scripts/caption-pictures.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
qeltitle=$build/tools/qeltitle/qeltitle
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
timeout 60 ffmpeg -v error -y -f lavfi -i "gradients=s=960x540:r=25:d=3:c0=0x1d3557:c1=0x8a5a44:speed=0.02" \
  -c:v libx264 -crf 12 -pix_fmt yuv420p "$work/clip.mp4"
for preset in clean social news karaoke; do
  timeout 120 "$qeltitle" captions doc/captions/sample.vtt --over "$work/clip.mp4" -o "$work/$preset.mp4" \
    --preset "$preset" >/dev/null 2>&1
  timeout 60 ffmpeg -v error -y -i "$work/$preset.mp4" -vf "select=eq(n\,42),crop=960:270:0:270" -frames:v 1 \
    "doc/captions/$preset.png"
  echo "doc/captions/$preset.png"
done
