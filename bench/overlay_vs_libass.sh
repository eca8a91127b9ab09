#!/usr/bin/env bash
# Burning a sliding lower third into a 10-second 1920x1080 25 fps clip: `qeltitle overlay` against
# ffmpeg's subtitles filter (libass) drawing the equivalent ASS file, with the same encoder
# settings (libx264 -preset medium -crf 18, yuv420p, audio copied). Both run in this one script,
# alternating, RUNS times each; the best and the median time of each are reported with their ratios. Then where the
# time goes: qeltitle's own split (--timings) and ffmpeg decoding and encoding alone.
#
#   bench/overlay_vs_libass.sh [build/tools/qeltitle/qeltitle]     RUNS=3 by default
#
# Not part of the tests: it takes a minute or more and its figures depend on the machine's load.
set -euo pipefail
QELTITLE=$(realpath "${1:-build/tools/qeltitle/qeltitle}")
RUNS=${RUNS:-3}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

ffmpeg -v error -y -f lavfi -i testsrc2=s=1920x1080:r=25:d=10 -f lavfi -i sine=d=10 \
    -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -c:a aac -shortest clip.mp4

# The lower third: DejaVu Sans 72 in white with a 3.6-pixel black outline (border 4 in 1/80 em),
# 80 pixels from the bottom-left corner, sliding in from the left over the first second and out
# the same way over the last.
"$QELTITLE" text 'Jane Doe, correspondent' -o lower.xml --font 'DejaVu Sans' --size 72 --color '#FFFFFF' \
    --border 4:#000000 --anchor bottom-left --margin 80 --length 10 --in 1 --out 1 \
    --effect PATH_SLIDERIGHT >/dev/null
cat > lower.ass <<'ASS'
[Script Info]
ScriptType: v4.00+
PlayResX: 1920
PlayResY: 1080
WrapStyle: 2
ScaledBorderAndShadow: yes

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding
Style: Lower,DejaVu Sans,72,&H00FFFFFF,&H00FFFFFF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,3.6,0,1,80,80,80,1

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Dialogue: 0,0:00:00.00,0:00:01.00,Lower,,0,0,0,,{\move(-900,1000,80,1000)}Jane Doe, correspondent
Dialogue: 0,0:00:01.00,0:00:09.00,Lower,,0,0,0,,{\pos(80,1000)}Jane Doe, correspondent
Dialogue: 0,0:00:09.00,0:00:10.00,Lower,,0,0,0,,{\move(80,1000,-900,1000)}Jane Doe, correspondent
ASS

ENCODE=(-c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p -movflags +faststart)
now() { local t=${EPOCHREALTIME/./}; echo "${t}"; }            # microseconds
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b - a) / 1e6 }'; }
best() { sort -n | head -1; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

qel=() lib=() plain=()
for run in $(seq "$RUNS"); do
    start=$(now); "$QELTITLE" overlay clip.mp4 -o qel.mp4 --title lower.xml --timings >qel.txt 2>/dev/null
    qel+=("$(seconds "$start" "$(now)")")
    start=$(now); ffmpeg -v error -y -i clip.mp4 -vf subtitles=lower.ass "${ENCODE[@]}" -c:a copy ass.mp4
    lib+=("$(seconds "$start" "$(now)")")
    start=$(now); ffmpeg -v error -y -i clip.mp4 "${ENCODE[@]}" -c:a copy plain.mp4
    plain+=("$(seconds "$start" "$(now)")")
done
start=$(now); ffmpeg -v error -y -i clip.mp4 -map 0:v -f rawvideo -pix_fmt bgra - >/dev/null
decodeBgra=$(seconds "$start" "$(now)")
start=$(now); ffmpeg -v error -y -i clip.mp4 -map 0:v -f null - ; decodeOnly=$(seconds "$start" "$(now)")

q=$(printf '%s\n' "${qel[@]}" | best) l=$(printf '%s\n' "${lib[@]}" | best) p=$(printf '%s\n' "${plain[@]}" | best)
echo "runs: qeltitle overlay ${qel[*]} s; ffmpeg -vf subtitles ${lib[*]} s; ffmpeg without titles ${plain[*]} s"
echo "best: qeltitle overlay $q s, ffmpeg -vf subtitles (libass) $l s, ratio $(awk -v a="$q" -v b="$l" 'BEGIN { printf "%.2f", a / b }') (below 1: qeltitle faster)"
qm=$(printf '%s\n' "${qel[@]}" | median) lm=$(printf '%s\n' "${lib[@]}" | median)
echo "median: qeltitle overlay $qm s, ffmpeg -vf subtitles $lm s, ratio $(awk -v a="$qm" -v b="$lm" 'BEGIN { printf "%.2f", a / b }')"
echo "ffmpeg decoding and encoding alone (no titles): $p s; decoding alone: $decodeOnly s, to BGRA: $decodeBgra s"
echo "qeltitle's last run: $(grep timings qel.txt)"
