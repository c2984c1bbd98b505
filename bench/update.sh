#!/usr/bin/env bash
# Usage: bench/update.sh [CORPUS_FOLDER]
#
# What update mode saves on a re-run: 200 x 200 PNG thumbnails of 2,000 JPEG photos of
# 4000 x 3000 (12 MP), made by `miravel --batch` into an empty folder (the first run), then by
# the same command with --update over the thumbnails it made: with nothing changed, and after
# 10 % of the photos were touched (a new modification time before each run). The first run is
# timed with --update too, on an empty folder, for what the check costs a run that finds no
# thumbnail; the two first runs take turns. Each timing takes one warm-up and
# MIRAVEL_BENCH_RUNS (3) timed runs; the best wall time counts. CORPUS_FOLDER is filled with the photos (about 7 GB, written by
# miravel-benchgen) when it holds none yet, so a second run can reuse it; without it they go to
# a temporary folder. Builds miravel and miravel-benchgen in MIRAVEL_BUILD_DIR (default
# <repo>/build).
#
# Ends with:
#   RATIO update-first <first run with --update / first run>; at most 1.03
#   RATIO update-unchanged <re-run with --update, nothing changed / first run>; at most 0.05
#   RATIO update-tenth <re-run with --update, 10 % touched / first run>; at most 0.15
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PHOTOS=2000
MIRAVEL=$BUILD_DIR/bin/miravel

# run_miravel OUTDIR [OPTION...]  the command that is timed.
run_miravel() {
    local out=$1
    shift
    "$MIRAVEL" --batch --quiet --types pictures --size 200x200 --format png --output "$out" \
        "$@" "$corpus"
}

# rerun_time NAME PREPARE  one warm-up and RUNS timed runs of the command with --update over
# the first run's thumbnails, each after PREPARE RUN; prints the shortest wall time.
rerun_time() {
    local name=$1 prepare=$2 run t
    : >"$WORK/$name.log"
    : >"$WORK/$name.times"
    for ((run = 0; run <= RUNS; run++)); do
        "$prepare" "$run"
        t=$(elapsed "$WORK/$name.log" run_miravel "$out/first" --update)
        ((run == 0)) || echo "$t" >>"$WORK/$name.times"
    done
    sort -n "$WORK/$name.times" | head -n 1 | cut -d' ' -f1
}

nothing() { :; }

# touch_tenth RUN  every tenth photo gets a modification time of its own for this run.
touch_tenth() {
    find "$corpus" -maxdepth 1 -name 'photo-*0.jpg' -exec touch -d "@$((epoch + $1 + 1))" {} +
}

# expect_up_to_date NAME COUNT  stops unless every run of NAME found COUNT sources up to date.
expect_up_to_date() {
    local found
    found=$(grep -c "^miravel: Up to date: $2\$" "$WORK/$1.log" || true)
    if ((found != RUNS + 1)); then
        echo "$1: not every run found $2 photos up to date; its log ends with:" >&2
        tail -n 5 "$WORK/$1.log" >&2
        exit 1
    fi
}

build_targets miravel miravel-benchgen

corpus=${1:-$WORK/photos}
if ! compgen -G "$corpus/photo-*.jpg" >/dev/null; then
    echo "Making $PHOTOS photos of 4000 x 3000 in $corpus"
    "$BENCHGEN" photos "$corpus" "$PHOTOS"
fi
count=$(count_files "$corpus" 'photo-*.jpg')
tenth=$(count_files "$corpus" 'photo-*0.jpg')
epoch=$(date +%s)
echo "Corpus: $count JPEG files in $corpus ($(du -sh "$corpus" | cut -f1)); load: $(cut -d' ' -f1-3 /proc/loadavg)"

out=$WORK/out
# The two first runs take turns, so that other work on the machine weighs on both alike.
: >"$WORK/first.log"
: >"$WORK/first.times"
: >"$WORK/first-update.log"
: >"$WORK/first-update.times"
for ((run = 0; run <= RUNS; run++)); do
    for name in first-update first; do
        rm -rf "$out/first"
        mkdir -p "$out/first"
        option=()
        [[ $name == first ]] || option=(--update)
        t=$(elapsed "$WORK/$name.log" run_miravel "$out/first" "${option[@]}")
        ((run == 0)) || echo "$t" >>"$WORK/$name.times"
    done
done
first=$(sort -n "$WORK/first.times" | head -n 1 | cut -d' ' -f1)
first_update=$(sort -n "$WORK/first-update.times" | head -n 1 | cut -d' ' -f1)
made=$(count_files "$out/first" '*.png')
if ((made != count)); then
    echo "the first run made $made thumbnails of $count photos; see its log:" >&2
    tail -n 20 "$WORK/first.log" >&2
    exit 1
fi
unchanged=$(rerun_time unchanged nothing)
expect_up_to_date unchanged "$count"
touched=$(rerun_time tenth touch_tenth)
expect_up_to_date tenth "$((count - tenth))"

report first "First run"
report first-update "First run, --update"
report unchanged "--update, nothing changed"
report tenth "--update, $tenth touched"
echo "Load after the runs: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Processor-time ratios: update-first $(ratio "$(best_cpu first-update)" "$(best_cpu first)")," \
    "update-unchanged $(ratio "$(best_cpu unchanged)" "$(best_cpu first)")," \
    "update-tenth $(ratio "$(best_cpu tenth)" "$(best_cpu first)")"
echo "RATIO update-first $(ratio "$first_update" "$first")"
echo "RATIO update-unchanged $(ratio "$unchanged" "$first")"
echo "RATIO update-tenth $(ratio "$touched" "$first")"
