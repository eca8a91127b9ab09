#!/bin/bash
# Burning captions into a clip: `qeltitle captions --over` against ffmpeg's subtitles filter
# (libass) on the same SubRip file, in the same run, with the same encoder settings (H.264,
# preset medium, CRF 18, audio copied). The clip is 60 seconds of 1920x1080 at 25 fps with a tone;
# the file has a cue every two seconds (1.6 s on screen, two lines). The two runs alternate ROUNDS
# times and the fastest of each counts, which evens out other load on a shared machine; a plain
# transcode with the same settings shows what decoding and encoding alone cost.
# Usage: bench/captions_vs_subtitles.sh [BUILD_DIR] [PRESET] [ROUNDS]   (default build, clean, 2)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
preset=${2:-clean}
rounds=${3:-2}
qeltitle=$(realpath "$build/tools/qeltitle/qeltitle")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
timeout 600 ffmpeg -v error -y -f lavfi -i testsrc2=s=1920x1080:r=25:d=60 -f lavfi -i sine=d=60 \
  -c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p -c:a aac -shortest clip.mp4
for i in $(seq 0 29); do
  start=$((i * 2))
  printf '%d\n00:%02d:%02d,200 --> 00:%02d:%02d,800\nCue number %d, a caption of two lines that is long\nenough to wrap the way real dialogue does\n\n' \
    $((i + 1)) $((start / 60)) $((start % 60)) $(((start + 1) / 60)) $(((start + 1) % 60)) $((i + 1))
done > subs.srt
seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N); echo "$t1 - $t0" | bc; }
encode=(-c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p -c:a copy)
min() { echo "if ($1 < $2) $1 else $2" | bc; }
q=999999; f=999999; p=999999
for round in $(seq "$rounds"); do
  q=$(min "$q" "$(seconds timeout 1800 "$qeltitle" captions subs.srt --over clip.mp4 -o qeltitle.mp4 --preset "$preset")")
  f=$(min "$f" "$(seconds timeout 1800 ffmpeg -v error -y -i clip.mp4 -vf subtitles=subs.srt "${encode[@]}" libass.mp4)")
  p=$(min "$p" "$(seconds timeout 1800 ffmpeg -v error -y -i clip.mp4 "${encode[@]}" plain.mp4)")
done
frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 qeltitle.mp4)
echo "qeltitle captions --over: ${q} s ($frames frames)"
echo "ffmpeg -vf subtitles=:    ${f} s"
echo "plain transcode:          ${p} s"
echo "ratio qeltitle / ffmpeg:  $(echo "scale=2; $q / $f" | bc)"
