#!/usr/bin/env bash
# Usage: bench/pictures.sh [CORPUS_FOLDER]
#
# Times 200 x 200 PNG thumbnails of 40 JPEG photos of 4000 x 3000 made by Miravel
# (miravel-bench), by vipsthumbnail (one call for all files) and by ImageMagick's convert
# (one call per file). Each tool gets one warm-up and MIRAVEL_BENCH_RUNS (3) timed runs; the
# best wall time counts. CORPUS_FOLDER is filled with the photos when it holds no JPEG yet,
# so a second run can reuse it; without it the photos go to a temporary folder.
# Builds miravel-bench in MIRAVEL_BUILD_DIR (default <repo>/build); installs missing peers.
#
# Ends with:
#   RATIO vipsthumbnail <Miravel time / vipsthumbnail time>
#   RATIO imagemagick <Miravel time / ImageMagick time>
#   PEAK_MB <Miravel's peak resident memory>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PHOTOS=40

run_miravel() {
    "$BENCH" --ext jpg --size 200x200 --format png --output "$1" "$corpus"
}

run_vips() {
    vipsthumbnail -s 200x200 -o "$1/%s.png" "$corpus"/*.jpg
}

run_imagemagick() {
    local photo name
    for photo in "$corpus"/*.jpg; do
        name=$(basename "$photo" .jpg)
        "$CONVERT" -define jpeg:size=400x400 "$photo" -thumbnail 200x200 "$1/$name.png" || return 1
    done
}

ensure_tools vipsthumbnail:libvips-tools "$CONVERT":imagemagick
build_targets miravel-bench

corpus=${1:-$WORK/photos}
if ! compgen -G "$corpus/*.jpg" >/dev/null; then
    make_photos "$corpus" "$PHOTOS"
fi
count=$(count_files "$corpus" '*.jpg')
echo "Corpus: $count JPEG files in $corpus"

out=$WORK/out
miravel=$(best_time miravel "$out/miravel" run_miravel "$out/miravel")
thumbnails=$(bench_value THUMBNAILS "$WORK/miravel.log")
if ((thumbnails != count)); then
    echo "miravel-bench made $thumbnails thumbnails of $count photos; see its log:" >&2
    tail -n 20 "$WORK/miravel.log" >&2
    exit 1
fi
vips=$(best_time vips "$out/vips" run_vips "$out/vips")
imagemagick=$(best_time imagemagick "$out/imagemagick" run_imagemagick "$out/imagemagick")

report miravel "Miravel"
echo "  job only (startJob to sigDone), best: $(bench_value WALL_MS "$WORK/miravel.log" min) ms"
report vips "vipsthumbnail"
report imagemagick "ImageMagick convert"
echo "Processor-time ratios: vipsthumbnail $(ratio "$(best_cpu miravel)" "$(best_cpu vips)")," \
    "imagemagick $(ratio "$(best_cpu miravel)" "$(best_cpu imagemagick)")"
echo "RATIO vipsthumbnail $(ratio "$miravel" "$vips")"
echo "RATIO imagemagick $(ratio "$miravel" "$imagemagick")"
echo "PEAK_MB $(bench_value PEAK_MB "$WORK/miravel.log" max)"
