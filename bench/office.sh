#!/usr/bin/env bash
# Usage: bench/office.sh [CORPUS_FOLDER]
#
# Times office-document thumbnails: 10 docx of 3 to 5 pages, 10 xlsx of several printed
# pages and 10 pptx of 5 slides. Per kind, Miravel (miravel-bench, pages 1 to 3 as 200 x 200
# PNG) runs against LibreOffice converting each file to PDF in a call of its own (a cold
# start per document), against one LibreOffice call given all files of the kind, and against
# that one call followed by `pdftoppm -f 1 -l 3 -png` per PDF, scaled to Miravel's size (the
# same work and output as Miravel's: PDF, then scaled page images covering the 200 x 200 box;
# `-scale-to-x 200 -scale-to-y -1` for the portrait pages of docx and xlsx, `-scale-to-x -1
# -scale-to-y 200` for the wide slides). Miravel's time is broken down by stage
# (MIRAVEL_STAGES). Each gets one warm-up and MIRAVEL_BENCH_RUNS (3) timed runs; the best
# wall time counts.
# The corpus is written as flat ODF XML and converted by LibreOffice; CORPUS_FOLDER
# (sub-folders docx/, xlsx/, pptx/) is filled when empty, so a second run can reuse it.
# Builds miravel-bench in MIRAVEL_BUILD_DIR (default <repo>/build); installs missing peers.
#
# Miravel makes office thumbnails only when it was built with its office module and
# LibreOffice is installed; a kind for which it makes none is reported as such, gets "n/a"
# ratios, and the script exits with status 1.
#
# Ends with, for KIND docx, xlsx and pptx:
#   RATIO soffice-cold-KIND <Miravel time / one LibreOffice call per file>
#   RATIO soffice-batch-KIND <Miravel time / one LibreOffice call for all files>
#   RATIO soffice-batch-scaled-KIND <Miravel time / that call, then pdftoppm per PDF>
# shellcheck disable=SC2317 # the functions are called by name, through best_time and make_kind
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

DOCUMENTS=10
PAGES=3
LO_PROGRAM=/usr/lib/libreoffice/program

WORDS=(the harbour light morning quietly river report measured across northern valley and of
    a season engineers built bridge over stone with careful figures in their ledger while
    weather turned colder every evening market prices rose slowly because shipping was delayed
    by storms council agreed to review plans for new library near old station)

# Prose goes straight to stdout: a $(...) subshell would draw from a reseeded generator, and
# the corpus would differ from run to run.
sentence() {
    local count=$((8 + RANDOM % 12)) i words=()
    for ((i = 0; i < count; i++)); do
        words+=("${WORDS[RANDOM % ${#WORDS[@]}]}")
    done
    local text="${words[*]}"
    printf '%s. ' "${text^}"
}

paragraph() {
    local count=$((4 + RANDOM % 4)) i
    for ((i = 0; i < count; i++)); do
        sentence
    done
}

ODF_NAMESPACES='xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
    xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
    xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
    xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
    xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
    xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"
    xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
    xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
    office:version="1.2"'

# write_fodt NUMBER  a text document of 3 to 5 pages: a heading and prose on each.
write_fodt() {
    local pages=$((3 + $1 % 3)) page p
    cat <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<office:document $ODF_NAMESPACES office:mimetype="application/vnd.oasis.opendocument.text">
<office:automatic-styles>
  <style:style style:name="Heading" style:family="paragraph">
    <style:paragraph-properties fo:break-before="page" fo:margin-bottom="0.4cm"/>
    <style:text-properties fo:font-size="18pt" fo:font-weight="bold" fo:color="#1f3864"/>
  </style:style>
  <style:style style:name="Body" style:family="paragraph">
    <style:paragraph-properties fo:margin-bottom="0.3cm" fo:text-align="justify"/>
    <style:text-properties fo:font-size="11pt"/>
  </style:style>
</office:automatic-styles>
<office:body><office:text>
EOF
    for ((page = 1; page <= pages; page++)); do
        echo "<text:p text:style-name=\"Heading\">Chapter $page of report $1</text:p>"
        for ((p = 0; p < 5; p++)); do
            printf '<text:p text:style-name="Body">'
            paragraph
            echo '</text:p>'
        done
    done
    echo '</office:text></office:body></office:document>'
}

cell_float() {
    printf '<table:table-cell office:value-type="float" office:value="%s"><text:p>%s</text:p></table:table-cell>' "$1" "$1"
}

cell_text() {
    printf '<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' "$1"
}

# write_fods NUMBER  a sheet of 160 rows by 9 columns with a sum per row: several pages.
write_fods() {
    local row column
    cat <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<office:document $ODF_NAMESPACES office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet>
<table:table table:name="Ledger $1">
EOF
    echo "<table:table-row>$(cell_text Item)"
    for ((column = 1; column <= 7; column++)); do
        cell_text "Quarter $column"
    done
    echo "$(cell_text Total)</table:table-row>"
    for ((row = 2; row <= 161; row++)); do
        printf '<table:table-row>'
        cell_text "${WORDS[RANDOM % ${#WORDS[@]}]} $row"
        for ((column = 1; column <= 7; column++)); do
            cell_float "$((RANDOM % 10000)).$((RANDOM % 100))"
        done
        printf '<table:table-cell table:formula="of:=SUM([.B%d:.H%d])" office:value-type="float" office:value="0"/>' "$row" "$row"
        echo '</table:table-row>'
    done
    echo '</table:table></office:spreadsheet></office:body></office:document>'
}

# write_fodp NUMBER  a presentation of 5 slides: a title, a text box and shapes on each.
write_fodp() {
    local slide
    cat <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<office:document $ODF_NAMESPACES office:mimetype="application/vnd.oasis.opendocument.presentation">
<office:automatic-styles>
  <style:page-layout style:name="Wide">
    <style:page-layout-properties fo:page-width="28cm" fo:page-height="15.75cm"/>
  </style:page-layout>
  <style:style style:name="Background" style:family="drawing-page">
    <style:drawing-page-properties draw:fill="solid" draw:fill-color="#f4f6fb"
        presentation:background-visible="true" presentation:background-objects-visible="true"/>
  </style:style>
  <style:style style:name="Blue" style:family="graphic">
    <style:graphic-properties draw:fill="solid" draw:fill-color="#3465a4" draw:stroke="none"/>
  </style:style>
  <style:style style:name="Orange" style:family="graphic">
    <style:graphic-properties draw:fill="solid" draw:fill-color="#f39c12" draw:stroke="none"/>
  </style:style>
  <style:style style:name="Box" style:family="graphic">
    <style:graphic-properties draw:fill="none" draw:stroke="none"/>
  </style:style>
  <style:style style:name="Big" style:family="text">
    <style:text-properties fo:font-size="32pt" fo:font-weight="bold"/>
  </style:style>
  <style:style style:name="Small" style:family="text">
    <style:text-properties fo:font-size="16pt"/>
  </style:style>
</office:automatic-styles>
<office:master-styles>
  <style:master-page style:name="Default" style:page-layout-name="Wide"
      draw:style-name="Background"/>
</office:master-styles>
<office:body><office:presentation>
EOF
    for ((slide = 1; slide <= 5; slide++)); do
        cat <<EOF
<draw:page draw:name="Slide $slide" draw:master-page-name="Default">
  <draw:frame draw:style-name="Box" svg:x="1.5cm" svg:y="1cm" svg:width="25cm" svg:height="2.5cm">
    <draw:text-box><text:p><text:span text:style-name="Big">Talk $1, part $slide</text:span></text:p></draw:text-box>
  </draw:frame>
  <draw:frame draw:style-name="Box" svg:x="1.5cm" svg:y="4cm" svg:width="14cm" svg:height="10cm">
EOF
        printf '    <draw:text-box><text:p><text:span text:style-name="Small">'
        paragraph
        cat <<EOF
</text:span></text:p></draw:text-box>
  </draw:frame>
  <draw:rect draw:style-name="Blue" svg:x="17cm" svg:y="4.5cm" svg:width="$((4 + slide))cm" svg:height="4cm"/>
  <draw:ellipse draw:style-name="Orange" svg:x="18cm" svg:y="9cm" svg:width="5cm" svg:height="5cm"/>
</draw:page>
EOF
    done
    echo '</office:presentation></office:body></office:document>'
}

# make_kind KIND FLAT_SUFFIX  writes the flat files of a kind and converts them in one call.
make_kind() {
    local kind=$1 flat=$2 folder=$corpus/$1 i name
    echo "Making $DOCUMENTS $kind files in $folder"
    mkdir -p "$WORK/flat-$kind" "$folder"
    for ((i = 1; i <= DOCUMENTS; i++)); do
        name=$(printf '%s-%03d' "$kind" "$i")
        "write_$flat" "$i" >"$WORK/flat-$kind/$name.$flat"
    done
    run_soffice --convert-to "$kind" --outdir "$folder" "$WORK/flat-$kind"/*."$flat" \
        >>"$WORK/corpus.log" 2>&1
    if (($(count_files "$folder" "*.$kind") != DOCUMENTS)); then
        echo "LibreOffice could not make the $kind files; see its log:" >&2
        tail -n 20 "$WORK/corpus.log" >&2
        exit 1
    fi
}

run_miravel() {
    "$BENCH" --ext "$kind" --pages "1-$PAGES" --size 200x200 --format png --output "$1" \
        "$corpus/$kind"
}

run_soffice_cold() {
    local document
    for document in "$corpus/$kind"/*."$kind"; do
        run_soffice --convert-to pdf --outdir "$1" "$document" || return 1
    done
}

run_soffice_batch() {
    run_soffice --convert-to pdf --outdir "$1" "$corpus/$kind"/*."$kind"
}

# The size pdftoppm scales each kind's pages to: Miravel's thumbnail size, covering the box.
declare -A PEER_SCALE=([docx]="-scale-to-x 200 -scale-to-y -1"
    [xlsx]="-scale-to-x 200 -scale-to-y -1" [pptx]="-scale-to-x -1 -scale-to-y 200")

run_soffice_batch_scaled() {
    local pdf
    run_soffice_batch "$1" || return 1
    for pdf in "$1"/*.pdf; do
        # shellcheck disable=SC2086 # the options are several words
        pdftoppm -f 1 -l "$PAGES" ${PEER_SCALE[$kind]} -png "$pdf" "${pdf%.pdf}" || return 1
    done
}

ensure_tools soffice:libreoffice-writer-nogui pdftoppm:poppler-utils \
    "$LO_PROGRAM/libswlo.so":libreoffice-writer-nogui \
    "$LO_PROGRAM/libsclo.so":libreoffice-calc-nogui \
    "$LO_PROGRAM/libsdlo.so":libreoffice-impress-nogui \
    "$LO_PROGRAM/libslideshowlo.so":libreoffice-impress-nogui
build_targets miravel-bench

# The first start creates the office profile; that is not part of any conversion.
echo "Creating the LibreOffice profile"
run_soffice --terminate_after_init >"$WORK/office-profile.log" 2>&1

corpus=${1:-$WORK/corpus}
RANDOM=20240601
for pair in docx:fodt xlsx:fods pptx:fodp; do
    if ! compgen -G "$corpus/${pair%%:*}/*.${pair%%:*}" >/dev/null; then
        make_kind "${pair%%:*}" "${pair#*:}"
    fi
done

out=$WORK/out
status=0
ratios=()
for kind in docx xlsx pptx; do
    echo "== $kind: $(count_files "$corpus/$kind" "*.$kind") files in $corpus/$kind"
    miravel=$(best_time "miravel-$kind" "$out/miravel" run_miravel "$out/miravel")
    made=$(bench_value THUMBNAILS "$WORK/miravel-$kind.log")
    if ((made == 0)); then
        echo "Miravel made no $kind thumbnails: its office support is not built or LibreOffice" \
            "is missing, so there is nothing to compare. Its log ends with:"
        tail -n 5 "$WORK/miravel-$kind.log"
        ratios+=("RATIO soffice-cold-$kind n/a" "RATIO soffice-batch-$kind n/a"
            "RATIO soffice-batch-scaled-$kind n/a")
        status=1
        continue
    fi
    if ((made != DOCUMENTS * PAGES)); then
        echo "Note: Miravel made $made $kind thumbnails, not $((DOCUMENTS * PAGES))."
    fi
    cold=$(best_time "cold-$kind" "$out/cold" run_soffice_cold "$out/cold")
    batch=$(best_time "batch-$kind" "$out/batch" run_soffice_batch "$out/batch")
    scaled=$(best_time "scaled-$kind" "$out/scaled" run_soffice_batch_scaled "$out/scaled")
    same_size "$out/miravel" "$out/scaled"
    report "miravel-$kind" "Miravel, $kind"
    echo "  job only (startJob to sigDone), best: $(bench_value WALL_MS "$WORK/miravel-$kind.log" min) ms," \
        "peak $(bench_value PEAK_MB "$WORK/miravel-$kind.log" max) MB"
    stage_breakdown "miravel-$kind"
    report "cold-$kind" "LibreOffice, one call a file"
    report "batch-$kind" "LibreOffice, one call"
    report "scaled-$kind" "LibreOffice, one call; pdftoppm"
    echo "  processor-time ratios: cold $(ratio "$(best_cpu "miravel-$kind")" "$(best_cpu "cold-$kind")")," \
        "batch $(ratio "$(best_cpu "miravel-$kind")" "$(best_cpu "batch-$kind")")," \
        "batch-scaled $(ratio "$(best_cpu "miravel-$kind")" "$(best_cpu "scaled-$kind")")"
    ratios+=("RATIO soffice-cold-$kind $(ratio "$miravel" "$cold")"
        "RATIO soffice-batch-$kind $(ratio "$miravel" "$batch")"
        "RATIO soffice-batch-scaled-$kind $(ratio "$miravel" "$scaled")")
done

printf '%s\n' "${ratios[@]}"
exit "$status"
