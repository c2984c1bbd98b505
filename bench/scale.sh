#!/usr/bin/env bash
# Usage: bench/scale.sh [CORPUS_FOLDER]
#
# How Miravel's cost grows with the job: 200 x 200 PNG thumbnails of 40 and of 400 JPEG photos
# of 4000 x 3000 (the 400 are ten copies of the 40), and of pages 1 to 1,000 of one PDF of
# 1,000 pages (prose, a chart and a photo on each, as in pdf.sh). One run each, by
# miravel-bench with a home folder of its own; the PDF run's working folder (under that home's
# ~/.local/share) is measured with du every 0.2 s while it runs. CORPUS_FOLDER (sub-folders
# photos-40/, photos-400/, long/) is filled when empty, so a second run can reuse it.
# Builds miravel-bench and miravel-benchgen in MIRAVEL_BUILD_DIR (default <repo>/build).
#
# Ends with:
#   MS_PER_FILE photos-40 <job time / photos>
#   MS_PER_FILE photos-400 <job time / photos>; linear growth keeps it level
#   MS_PER_PAGE pdf-1000 <job time / pages>
#   PEAK_MB photos-40|photos-400|pdf-1000 <Miravel's peak resident memory>
#   CHILD_PEAK_MB pdf-1000 <pdftopng's peak resident memory>
#   PEAK_DISK_MB pdf-1000 <largest size of the working folder seen>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PHOTOS=40
COPIES=10
PAGES=1000

# peak_disk_kb FOLDER PID  the largest size of FOLDER, in KB, seen while PID runs.
peak_disk_kb() {
    local peak=0 size
    while kill -0 "$2" 2>/dev/null; do
        # Files come and go while du counts; what it can count is enough.
        size=$(du -sk "$1" 2>/dev/null | cut -f1 || true)
        if ((${size:-0} > peak)); then
            peak=$size
        fi
        sleep 0.2
    done
    echo "$peak"
}

# run_job NAME EXPECTED ARG...  runs miravel-bench with ARG in a home of its own, stops
# unless it made EXPECTED thumbnails; its output goes to $WORK/NAME.log, the peak size of
# its working folder to $WORK/NAME.disk.
run_job() {
    local name=$1 expected=$2 home=$WORK/home-$1 pid made
    shift 2
    mkdir -p "$home/.local/share" "$WORK/out-$name"
    HOME=$home XDG_DATA_HOME='' "$BENCH" --size 200x200 --format png \
        --output "$WORK/out-$name" "$@" >"$WORK/$name.log" 2>&1 &
    pid=$!
    peak_disk_kb "$home/.local/share" "$pid" >"$WORK/$name.disk"
    if ! wait "$pid"; then
        echo "miravel-bench failed on $name; its log ends with:" >&2
        tail -n 20 "$WORK/$name.log" >&2
        exit 1
    fi
    made=$(bench_value THUMBNAILS "$WORK/$name.log")
    if ((made != expected)); then
        echo "miravel-bench made $made thumbnails of $name instead of $expected" >&2
        exit 1
    fi
    rm -rf "$WORK/out-$name"
}

ensure_tools "$CONVERT":imagemagick
build_targets miravel-bench miravel-benchgen

corpus=${1:-$WORK/corpus}
if ! compgen -G "$corpus/photos-40/*.jpg" >/dev/null; then
    make_photos "$corpus/photos-40" "$PHOTOS"
fi
if ! compgen -G "$corpus/photos-400/*.jpg" >/dev/null; then
    mkdir -p "$corpus/photos-400"
    for photo in "$corpus/photos-40"/*.jpg; do
        for ((copy = 1; copy <= COPIES; copy++)); do
            cp "$photo" "$corpus/photos-400/$(basename "$photo" .jpg)-$copy.jpg"
        done
    done
fi
if ! compgen -G "$corpus/long/*.pdf" >/dev/null; then
    echo "Making a PDF of $PAGES pages in $corpus/long"
    "$BENCHGEN" pdf "$corpus/long" 1 "$PAGES"
fi

small=$(count_files "$corpus/photos-40" '*.jpg')
large=$(count_files "$corpus/photos-400" '*.jpg')
echo "Corpus: $small and $large photos, one PDF of $PAGES pages, in $corpus"
run_job photos-40 "$small" --ext jpg "$corpus/photos-40"
run_job photos-400 "$large" --ext jpg "$corpus/photos-400"
run_job pdf-1000 "$PAGES" --ext pdf --pages "1-$PAGES" "$corpus/long"

per_file() {
    awk -v ms="$(bench_value WALL_MS "$WORK/$1.log")" -v n="$2" 'BEGIN { printf "%.1f\n", ms / n }'
}

for name in photos-40 photos-400 pdf-1000; do
    echo "$name: job $(bench_value WALL_MS "$WORK/$name.log") ms," \
        "peak $(bench_value PEAK_MB "$WORK/$name.log") MB"
done
stage_breakdown pdf-1000 1
echo "MS_PER_FILE photos-40 $(per_file photos-40 "$small")"
echo "MS_PER_FILE photos-400 $(per_file photos-400 "$large")"
echo "MS_PER_PAGE pdf-1000 $(per_file pdf-1000 "$PAGES")"
for name in photos-40 photos-400 pdf-1000; do
    echo "PEAK_MB $name $(bench_value PEAK_MB "$WORK/$name.log")"
done
echo "CHILD_PEAK_MB pdf-1000 $(bench_value CHILD_PEAK_MB "$WORK/pdf-1000.log")"
echo "PEAK_DISK_MB pdf-1000 $(awk '{ printf "%.0f\n", $1 / 1024 }' "$WORK/pdf-1000.disk")"
