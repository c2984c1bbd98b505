#!/usr/bin/env bash
# Usage: bench/pdf.sh [CORPUS_FOLDER]
#
# Times PDF and plain-text thumbnails. PDF: 20 PDFs of 10 A4 pages (prose, a vector chart and
# a photo on every page), pages 1 to 10 as 200 x 200 PNG by Miravel (miravel-bench, aspect kept:
# 200 x 283 a page), against `pdftoppm -scale-to-x 200 -scale-to-y -1 -png`, which makes the
# same images, and, as references, `pdftoppm -r 150 -png` and `mutool draw -r 150`, one call per
# PDF; then the first page of each PDF alone, against the same scaled pdftoppm and against one
# `vipsthumbnail -s 200x` call over all PDFs (which renders first pages). Text: 50 text files of a
# few KB, first page as 200 x 200 PNG by Miravel, against one LibreOffice call converting them
# all to PDF and one converting them all to PNG (the first page of each, at LibreOffice's own
# size). Miravel's time is broken down by stage (MIRAVEL_STAGES). Each tool gets one warm-up and MIRAVEL_BENCH_RUNS (3) timed runs; the best wall
# time counts. CORPUS_FOLDER (sub-folders pdf/ and text/) is filled when empty, so a second
# run can reuse it; without it the corpus goes to a temporary folder.
# Builds miravel-bench and miravel-benchgen in MIRAVEL_BUILD_DIR (default <repo>/build);
# installs missing peers.
#
# Ends with:
#   RATIO pdftoppm-scaled-pages <Miravel time / scaled pdftoppm time, pages 1 to 10>
#   RATIO pdftoppm-scaled-first <Miravel time / scaled pdftoppm time, first pages>
#   RATIO vipsthumbnail-pdf-first <Miravel time / vipsthumbnail time, first pages>
#   RATIO pdftoppm <Miravel time / pdftoppm time>
#   RATIO mutool <Miravel time / mutool time>
#   RATIO libreoffice-text <Miravel time / LibreOffice time, text to PDF>
#   RATIO libreoffice-text-png <Miravel time / LibreOffice time, text to PNG>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PDFS=20
PAGES=10
TEXTS=50

WIDTH=200

run_miravel_pdf() {
    "$BENCH" --ext pdf --pages "1-$PAGES" --size "${WIDTH}x$WIDTH" --format png --output "$1" \
        "$pdfs"
}

run_miravel_pdf_first() {
    "$BENCH" --ext pdf --pages 1-1 --size "${WIDTH}x$WIDTH" --format png --output "$1" "$pdfs"
}

# pdftoppm_scaled OUTDIR LAST  pages 1 to LAST of every PDF, WIDTH pixels wide, aspect kept.
pdftoppm_scaled() {
    local pdf
    for pdf in "$pdfs"/*.pdf; do
        pdftoppm -f 1 -l "$2" -scale-to-x "$WIDTH" -scale-to-y -1 -png "$pdf" \
            "$1/$(basename "$pdf" .pdf)" || return 1
    done
}

run_pdftoppm_scaled_pages() {
    pdftoppm_scaled "$1" "$PAGES"
}

run_pdftoppm_scaled_first() {
    pdftoppm_scaled "$1" 1
}

run_vips_first() {
    vipsthumbnail -s "${WIDTH}x" -o "$1/%s.png" "$pdfs"/*.pdf
}

run_pdftoppm() {
    local pdf
    for pdf in "$pdfs"/*.pdf; do
        pdftoppm -r 150 -png -f 1 -l "$PAGES" "$pdf" "$1/$(basename "$pdf" .pdf)" || return 1
    done
}

run_mutool() {
    local pdf
    for pdf in "$pdfs"/*.pdf; do
        mutool draw -q -r 150 -o "$1/$(basename "$pdf" .pdf)-%d.png" "$pdf" "1-$PAGES" \
            || return 1
    done
}

run_miravel_text() {
    "$BENCH" --ext txt --size 200x200 --format png --output "$1" "$texts"
}

run_libreoffice_text() {
    run_soffice --convert-to pdf --outdir "$1" "$texts"/*.txt
}

run_libreoffice_text_png() {
    run_soffice --convert-to png --outdir "$1" "$texts"/*.txt
}

# check_miravel NAME EXPECTED  stops when the run made another number of thumbnails.
check_miravel() {
    local made
    made=$(bench_value THUMBNAILS "$WORK/$1.log")
    if ((made != $2)); then
        echo "miravel-bench made $made thumbnails instead of $2; see its log:" >&2
        tail -n 20 "$WORK/$1.log" >&2
        exit 1
    fi
}

ensure_tools pdftoppm:poppler-utils mutool:mupdf-tools soffice:libreoffice-writer-nogui \
    vipsthumbnail:libvips-tools
build_targets miravel-bench miravel-benchgen

corpus=${1:-$WORK/corpus}
pdfs=$corpus/pdf
texts=$corpus/text
if ! compgen -G "$pdfs/*.pdf" >/dev/null; then
    echo "Making $PDFS PDFs of $PAGES pages in $pdfs"
    "$BENCHGEN" pdf "$pdfs" "$PDFS" "$PAGES"
fi
if ! compgen -G "$texts/*.txt" >/dev/null; then
    echo "Making $TEXTS text files in $texts"
    "$BENCHGEN" text "$texts" "$TEXTS"
fi
pdf_count=$(count_files "$pdfs" '*.pdf')
text_count=$(count_files "$texts" '*.txt')
echo "Corpus: $pdf_count PDFs of $PAGES pages in $pdfs, $text_count text files in $texts"

out=$WORK/out
miravel_pdf=$(best_time miravel-pdf "$out/miravel-pdf" run_miravel_pdf "$out/miravel-pdf")
check_miravel miravel-pdf $((pdf_count * PAGES))
scaled_pages=$(best_time pdftoppm-scaled-pages "$out/scaled-pages" run_pdftoppm_scaled_pages \
    "$out/scaled-pages")
same_size "$out/miravel-pdf" "$out/scaled-pages"
pdftoppm=$(best_time pdftoppm "$out/pdftoppm" run_pdftoppm "$out/pdftoppm")
mutool=$(best_time mutool "$out/mutool" run_mutool "$out/mutool")

miravel_first=$(best_time miravel-pdf-first "$out/miravel-first" run_miravel_pdf_first \
    "$out/miravel-first")
check_miravel miravel-pdf-first "$pdf_count"
scaled_first=$(best_time pdftoppm-scaled-first "$out/scaled-first" run_pdftoppm_scaled_first \
    "$out/scaled-first")
same_size "$out/miravel-first" "$out/scaled-first"
vips_first=$(best_time vipsthumbnail-pdf-first "$out/vips-first" run_vips_first "$out/vips-first")
same_size "$out/miravel-first" "$out/vips-first"

miravel_text=$(best_time miravel-text "$out/miravel-text" run_miravel_text "$out/miravel-text")
check_miravel miravel-text "$text_count"
# The first start creates the office profile; that is not part of the conversion.
echo "Creating the LibreOffice profile"
run_soffice --terminate_after_init >"$WORK/office-profile.log" 2>&1
libreoffice=$(best_time libreoffice-text "$out/libreoffice" run_libreoffice_text \
    "$out/libreoffice")
converted=$(count_files "$out/libreoffice" '*.pdf')
if ((converted != text_count)); then
    echo "LibreOffice converted $converted of $text_count text files" >&2
    exit 1
fi
libreoffice_png=$(best_time libreoffice-text-png "$out/libreoffice-png" run_libreoffice_text_png \
    "$out/libreoffice-png")
converted=$(count_files "$out/libreoffice-png" '*.png')
if ((converted != text_count)); then
    echo "LibreOffice converted $converted of $text_count text files to PNG" >&2
    exit 1
fi

report miravel-pdf "Miravel, PDF"
echo "  job only (startJob to sigDone), best: $(bench_value WALL_MS "$WORK/miravel-pdf.log" min) ms," \
    "peak $(bench_value PEAK_MB "$WORK/miravel-pdf.log" max) MB," \
    "pdftopng peak $(bench_value CHILD_PEAK_MB "$WORK/miravel-pdf.log" max) MB"
stage_breakdown miravel-pdf
report pdftoppm-scaled-pages "pdftoppm -scale-to-x $WIDTH"
report pdftoppm "pdftoppm -r 150"
report mutool "mutool draw -r 150"
report miravel-pdf-first "Miravel, PDF, first pages"
echo "  job only (startJob to sigDone), best: $(bench_value WALL_MS "$WORK/miravel-pdf-first.log" min) ms"
stage_breakdown miravel-pdf-first
report pdftoppm-scaled-first "pdftoppm -scale-to-x $WIDTH"
report vipsthumbnail-pdf-first "vipsthumbnail -s ${WIDTH}x"
report miravel-text "Miravel, text"
echo "  job only (startJob to sigDone), best: $(bench_value WALL_MS "$WORK/miravel-text.log" min) ms," \
    "peak $(bench_value PEAK_MB "$WORK/miravel-text.log" max) MB"
stage_breakdown miravel-text
report libreoffice-text "LibreOffice, text to PDF"
report libreoffice-text-png "LibreOffice, text to PNG"
echo "Processor-time ratios:" \
    "pdftoppm-scaled-pages $(ratio "$(best_cpu miravel-pdf)" "$(best_cpu pdftoppm-scaled-pages)")," \
    "pdftoppm-scaled-first $(ratio "$(best_cpu miravel-pdf-first)" "$(best_cpu pdftoppm-scaled-first)")," \
    "vipsthumbnail-pdf-first $(ratio "$(best_cpu miravel-pdf-first)" "$(best_cpu vipsthumbnail-pdf-first)")," \
    "pdftoppm $(ratio "$(best_cpu miravel-pdf)" "$(best_cpu pdftoppm)")," \
    "mutool $(ratio "$(best_cpu miravel-pdf)" "$(best_cpu mutool)")," \
    "libreoffice-text $(ratio "$(best_cpu miravel-text)" "$(best_cpu libreoffice-text)")," \
    "libreoffice-text-png $(ratio "$(best_cpu miravel-text)" "$(best_cpu libreoffice-text-png)")"
echo "RATIO pdftoppm-scaled-pages $(ratio "$miravel_pdf" "$scaled_pages")"
echo "RATIO pdftoppm-scaled-first $(ratio "$miravel_first" "$scaled_first")"
echo "RATIO vipsthumbnail-pdf-first $(ratio "$miravel_first" "$vips_first")"
echo "RATIO pdftoppm $(ratio "$miravel_pdf" "$pdftoppm")"
echo "RATIO mutool $(ratio "$miravel_pdf" "$mutool")"
echo "RATIO libreoffice-text $(ratio "$miravel_text" "$libreoffice")"
echo "RATIO libreoffice-text-png $(ratio "$miravel_text" "$libreoffice_png")"
