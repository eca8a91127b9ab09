#!/usr/bin/env bash
# Runs melt on a frame the qeltitle producer refuses (a scale out of range) many times under load:
# the command line that once left melt waiting for ever during a full test run. Each run has a
# time limit; busy loops (one per processor unless LOAD says otherwise) keep the machine loaded.
# Any run that times out, fails, or does not report the refusal fails the script.
# CONSUMER_OPTIONS go to the consumer after terminate_on_pause=1: the melt tests add real_time=0,
# which leaves out melt's read-ahead thread, whose start can wait for ever in melt 7.12 (see
# MeltTest.cpp); RESOURCE=color:red runs the same line with one of MLT's own producers; RACE=1
# preloads melt_startup_race.c, which gives every run the timing that makes that start wait.
#
#   scripts/melt_refusal_stress.sh [BUILD_DIR]   RUNS=200 LOAD=<processors> LIMIT=30 (seconds a run)
#                                                CONSUMER_OPTIONS= RESOURCE=qeltitle:ok.xml RACE=
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd) || exit 2
runs=${RUNS:-200}
load=${LOAD:-$(nproc)}
limit=${LIMIT:-30}
options=${CONSUMER_OPTIONS:-}
resource=${RESOURCE:-qeltitle:ok.xml}
module=$build/mlt/libmltqeltitle.so
[ -f "$module" ] || { echo "no MLT module in $build (build the target mltqeltitle)" >&2; exit 2; }

work=$(mktemp -d)
busy=()
cleanup() {
    for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

# melt loads modules from one folder: MLT's own and ours, linked (as the tests do).
mkdir -p "$work/modules" "$work/data"
ln -s "$(pkg-config --variable=moduledir mlt-framework-7)"/* "$module" "$work/modules/"
ln -s "$(pkg-config --variable=mltdatadir mlt-framework-7)"/* "$build/mlt/data/qeltitle" "$work/data/"
export MLT_REPOSITORY=$work/modules MLT_DATA=$work/data
cd "$work" || exit 2
timeout 30 "$build/tools/qeltitle/qeltitle" text ok -o ok.xml > /dev/null || exit 2
if [ -n "${RACE:-}" ]; then
    cc -shared -fPIC -O2 "$here/melt_startup_race.c" -o race.so -ldl || exit 2
    export LD_PRELOAD=$work/race.so
fi

for ((i = 0; i < load; ++i)); do
    (while :; do :; done) &
    busy+=($!)
done

hung=0 failed=0 silent=0 slowest=0
for ((run = 1; run <= runs; ++run)); do
    start=$(date +%s%N)
    # shellcheck disable=SC2086  # the options are words
    timeout -k 5 "$limit" melt "$resource" out=0 scale=0 -consumer null terminate_on_pause=1 $options > run.log 2>&1
    status=$?
    ms=$((($(date +%s%N) - start) / 1000000))
    ((ms > slowest)) && slowest=$ms
    case $status in
        0) [[ $resource != qeltitle:* ]] || grep -q "scale 0 is not a number from 0.01 to 100" run.log ||
            { silent=$((silent + 1)); echo "run $run: no refusal logged"; } ;;
        124 | 137) hung=$((hung + 1)); echo "run $run: timed out after ${limit} s (status $status)" ;;
        *) failed=$((failed + 1)); echo "run $run: status $status"; tail -5 run.log ;;
    esac
done
echo "melt $resource out=0 scale=0 -consumer null terminate_on_pause=1 $options${RACE:+ (startup race forced)}"
echo "$runs runs beside $load busy loops (load average $(cut -d' ' -f1-3 /proc/loadavg)): $hung timed out," \
     "$failed failed, $silent without the refusal; slowest run $slowest ms"
[ $((hung + failed + silent)) -eq 0 ]
