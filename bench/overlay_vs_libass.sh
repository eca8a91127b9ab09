#!/usr/bin/env bash
# Burning titles into 1920x1080 25 fps video: `qeltitle` against ffmpeg's subtitles filter (libass)
# drawing the equivalent ASS or SubRip file, and a plain transcode without titles, all with the same
# encoder settings (libx264 -preset medium -crf 18, yuv420p, audio copied). Two jobs:
#   lower third  10 s, one sliding lower third (`qeltitle overlay`)
#   captions     60 s, a two-line cue every two seconds (`qeltitle captions --over`)
# In each job the three commands alternate, RUNS times each; the best and the median wall time of
# each are reported, with the overhead over the plain transcode (what drawing the titles costs),
# and the same for the processor time (user + system), which other load on the machine moves less.
#
#   bench/overlay_vs_libass.sh [build/tools/qeltitle/qeltitle]     RUNS=3 by default; JOBS="lower captions"
#
# PRESET=ultrafast (any libx264 preset; medium by default) makes the encoder's share of the lower
# third smaller, so that what drawing costs stands out from the noise of other load (`captions`
# takes no encoder preset: the captions job stays at medium).
#
# Not part of the tests: it takes minutes and its figures depend on the machine's load.
set -euo pipefail
QELTITLE=$(realpath "${1:-build/tools/qeltitle/qeltitle}")
# The fonts file is named from where the script was started; it runs in a directory of its own.
[ -z "${FONTCONFIG_FILE:-}" ] || export FONTCONFIG_FILE="$(realpath "$FONTCONFIG_FILE")"
RUNS=${RUNS:-3}
PRESET=${PRESET:-medium}
JOBS=${JOBS:-lower captions}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

ENCODE=(-c:v libx264 -preset "$PRESET" -crf 18 -pix_fmt yuv420p -c:a copy -movflags +faststart)
now() { local t=${EPOCHREALTIME/./}; echo "${t}"; }            # microseconds
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b - a) / 1e6 }'; }
best() { sort -n | head -1; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# race NAME SUBTITLES QELTITLE-ARGS...: the three commands alternating, then the report.
race() {
    local name=$1 subs=$2 start
    shift 2
    local qel=() lib=() plain=() qelCpu=() libCpu=() plainCpu=()
    cpu() { awk '{ printf "%.2f", $1 + $2 }' cpu.txt; }
    for run in $(seq "$RUNS"); do
        start=$(now); /usr/bin/time -o cpu.txt -f '%U %S' timeout 1800 ffmpeg -v error -y -i clip.mp4 "${ENCODE[@]}" plain.mp4
        plain+=("$(seconds "$start" "$(now)")") plainCpu+=("$(cpu)")
        start=$(now); /usr/bin/time -o cpu.txt -f '%U %S' timeout 1800 ffmpeg -v error -y -i clip.mp4 -vf "subtitles=$subs" "${ENCODE[@]}" ass.mp4
        lib+=("$(seconds "$start" "$(now)")") libCpu+=("$(cpu)")
        start=$(now); /usr/bin/time -o cpu.txt -f '%U %S' timeout 1800 "$QELTITLE" "$@" >qel.txt 2>/dev/null
        qel+=("$(seconds "$start" "$(now)")") qelCpu+=("$(cpu)")
    done
    local p l q pm lm qm
    p=$(printf '%s\n' "${plain[@]}" | best) l=$(printf '%s\n' "${lib[@]}" | best) q=$(printf '%s\n' "${qel[@]}" | best)
    pm=$(printf '%s\n' "${plain[@]}" | median) lm=$(printf '%s\n' "${lib[@]}" | median) qm=$(printf '%s\n' "${qel[@]}" | median)
    echo "== $name"
    echo "runs: plain transcode ${plain[*]} s; ffmpeg -vf subtitles ${lib[*]} s; qeltitle ${qel[*]} s"
    for kind in best median; do
        local P L Q
        if [ $kind = best ]; then P=$p L=$l Q=$q; else P=$pm L=$lm Q=$qm; fi
        awk -v p="$P" -v l="$L" -v q="$Q" -v k="$kind" 'BEGIN {
            printf "%s: plain %.2f s; libass %.2f s (+%.2f s); qeltitle %.2f s (+%.2f s); wall ratio qeltitle/libass %.2f, overhead ratio %.2f\n",
                k, p, l, l - p, q, q - p, q / l, (l - p > 0 ? (q - p) / (l - p) : 0) }'
    done
    awk -v p="$(printf '%s\n' "${plainCpu[@]}" | best)" -v l="$(printf '%s\n' "${libCpu[@]}" | best)" \
        -v q="$(printf '%s\n' "${qelCpu[@]}" | best)" 'BEGIN {
        printf "processor time, best: plain %.2f s; libass %.2f s (+%.2f s); qeltitle %.2f s (+%.2f s); overhead ratio %.2f\n",
            p, l, l - p, q, q - p, (l - p > 0 ? (q - p) / (l - p) : 0) }'
    grep -h timings qel.txt || true
}

if [[ " $JOBS " == *" lower "* ]]; then
    timeout 600 ffmpeg -v error -y -f lavfi -i testsrc2=s=1920x1080:r=25:d=10 -f lavfi -i sine=d=10 \
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
    race "lower third, 10 s of 1080p25" lower.ass overlay clip.mp4 -o qel.mp4 --title lower.xml --preset "$PRESET" --timings
fi

if [[ " $JOBS " == *" captions "* ]]; then
    ENCODE=(-c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p -c:a copy -movflags +faststart)
    timeout 600 ffmpeg -v error -y -f lavfi -i testsrc2=s=1920x1080:r=25:d=60 -f lavfi -i sine=d=60 \
        -c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p -c:a aac -shortest clip.mp4
    for i in $(seq 0 29); do
        start=$((i * 2))
        printf '%d\n00:%02d:%02d,200 --> 00:%02d:%02d,800\nCue number %d, a caption of two lines that is long\nenough to wrap the way real dialogue does\n\n' \
            $((i + 1)) $((start / 60)) $((start % 60)) $(((start + 1) / 60)) $(((start + 1) % 60)) $((i + 1))
    done > subs.srt
    race "captions, 60 s of 1080p25 (30 cues)" subs.srt captions subs.srt --over clip.mp4 -o qel.mp4 --preset clean
fi
