# shellcheck shell=bash
# Helpers shared by the benchmark scripts in this folder; sourced, never run.
#
# Environment read here:
#   MIRAVEL_BUILD_DIR   build folder (default: <repo>/build)
#   MIRAVEL_BENCH_RUNS  timed runs per tool after one warm-up; the best is kept (default: 3)
# Set here: MIRAVEL_STAGES=1, so that Miravel logs the time each file spends in each stage.

# Failures inside $(...) stop the script too.
shopt -s inherit_errexit

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_DIR=$(dirname "$BENCH_DIR")
BUILD_DIR=${MIRAVEL_BUILD_DIR:-$REPO_DIR/build}
RUNS=${MIRAVEL_BENCH_RUNS:-3}
# shellcheck disable=SC2034 # used by the scripts that source this file
BENCH=$BUILD_DIR/bin/miravel-bench
# shellcheck disable=SC2034
BENCHGEN=$BUILD_DIR/bin/miravel-benchgen
export MIRAVEL_STAGES=1

# Scratch space of this run: outputs, logs, generated corpora, office profiles.
WORK=$(mktemp -d -t miravel-bench.XXXXXX)
SOFFICE_GROUPS=$WORK/soffice.groups
: >"$SOFFICE_GROUPS"

cleanup() {
    local group
    # Every soffice started here led its own process group; end any that is still alive.
    while read -r group; do
        kill -- "-$group" 2>/dev/null || true
    done <"$SOFFICE_GROUPS"
    rm -rf "$WORK"
}
trap cleanup EXIT

# ensure_tools NEED:PACKAGE...  NEED is a command name or an absolute path; the Debian packages
# of the missing ones are installed, with a single apt-get update.
ensure_tools() {
    local pair need missing=()
    for pair in "$@"; do
        need=${pair%%:*}
        if [[ $need == /* ]]; then
            [[ -e $need ]] || missing+=("${pair#*:}")
        else
            command -v "$need" >/dev/null || missing+=("${pair#*:}")
        fi
    done
    ((${#missing[@]})) || return 0
    echo "Installing ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >"$WORK/apt.log"
}

# build_targets TARGET...  configures the build folder (Release when new) and builds them.
build_targets() {
    local configure=(-S "$REPO_DIR" -B "$BUILD_DIR")
    [[ -f $BUILD_DIR/CMakeCache.txt ]] || configure+=(-DCMAKE_BUILD_TYPE=Release)
    echo "Building $* in $BUILD_DIR"
    if ! { cmake "${configure[@]}" && cmake --build "$BUILD_DIR" --target "$@" -j"$(nproc)"; } \
        >"$WORK/build.log" 2>&1; then
        tail -n 40 "$WORK/build.log" >&2
        echo "build failed" >&2
        exit 1
    fi
}

# elapsed LOG COMMAND...  runs the command with its output appended to LOG and prints its wall
# time and its processor time (user and system, children included), in seconds.
elapsed() {
    local log=$1 timing TIMEFORMAT='%R %U %S'
    shift
    if ! timing=$({ time "$@" >>"$log" 2>&1; } 2>&1); then
        echo "failed: $*" >&2
        tail -n 20 "$log" >&2
        return 1
    fi
    awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' <<<"$timing"
}

# best_time NAME OUTDIR COMMAND...  one warm-up run, then RUNS timed runs, each into an
# emptied OUTDIR. Prints the shortest wall time. The wall and processor times of the runs go
# to $WORK/NAME.times, the command's output to $WORK/NAME.log.
best_time() {
    local name=$1 out=$2 run t
    shift 2
    : >"$WORK/$name.log"
    : >"$WORK/$name.times"
    for ((run = 0; run <= RUNS; run++)); do
        rm -rf "$out"
        mkdir -p "$out"
        t=$(elapsed "$WORK/$name.log" "$@")
        ((run == 0)) || echo "$t" >>"$WORK/$name.times"
    done
    sort -n "$WORK/$name.times" | head -n 1 | cut -d' ' -f1
}

# report NAME LABEL  prints the best wall and processor times of a tool and all its runs.
# The processor time is the steadier figure when other work shares the machine.
report() {
    awk -v label="$2" '
        { walls = walls " " $1; if (wall == "" || $1 < wall) wall = $1
          if (cpu == "" || $2 < cpu) cpu = $2 }
        END { printf "%-30s wall %7.3f s  cpu %7.3f s  (wall of runs:%s)\n", label, wall, cpu, walls }
    ' "$WORK/$1.times"
}

# best_cpu NAME  the shortest processor time of a tool's runs.
best_cpu() {
    sort -n -k2 "$WORK/$1.times" | head -n 1 | cut -d' ' -f2
}

# ratio A B  prints A / B with two decimals.
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f\n", a / b; else print "n/a" }'
}

# bench_value KEY LOG [last|min|max]  a value that miravel-bench printed as "KEY value".
bench_value() {
    awk -v key="$1" -v how="${3:-last}" '
        $1 == key {
            v = $2
            if (m == "" || (how == "max" && v + 0 > m + 0) || (how == "min" && v + 0 < m + 0))
                m = v
        }
        END { print (how == "last" ? v : m) }' "$2"
}

# stage_breakdown NAME [RUNS]  Miravel's stage lines ("miravel.stages: STAGE MS FILE") in the
# log of a tool's RUNS runs (default: the warm-up and the timed runs): per stage, in order of
# first appearance, how often it was timed a run (once a file, or once a page), the mean time
# and the total time a run.
stage_breakdown() {
    awk -v runs="${2:-$((RUNS + 1))}" '
        $1 == "miravel.stages:" {
            if (!($2 in total))
                order[++n] = $2
            total[$2] += $3
            count[$2]++
        }
        END {
            for (i = 1; i <= n; i++) {
                s = order[i]
                printf "  stage %-15s %5d times a run, mean %8.1f ms, %8.0f ms a run\n",
                    s, count[s] / runs, total[s] / count[s], total[s] / runs
            }
        }' "$WORK/$1.log"
}

# run_soffice ARG...  runs soffice headless with this run's own throwaway profile, as the
# leader of a process group of its own, so that cleanup can end whatever it leaves behind.
run_soffice() {
    setsid -w soffice -env:UserInstallation="file://$WORK/office-profile" --headless \
        --norestore --nologo --nolockcheck "$@" &
    echo "$!" >>"$SOFFICE_GROUPS"
    wait "$!"
}

# The binary of ImageMagick's Debian package, called directly in per-file loops.
CONVERT=/usr/bin/convert

# make_photos FOLDER COUNT  COUNT JPEG photos of 4000 x 3000: one fractal "photo" with grain,
# then shifted and mirrored copies of it, each re-encoded, so that no two files are alike; as
# many at a time as there are cores. Needs ImageMagick.
make_photos() {
    local folder=$1 count=$2 base=$WORK/base.jpg jobs i
    local flips=("" -flop -flip "-flip -flop")
    jobs=$(nproc)
    echo "Making $count photos of 4000 x 3000 in $folder"
    mkdir -p "$folder"
    "$CONVERT" -size 4000x3000 -seed 7 plasma:fractal -blur 0x2 -attenuate 0.3 \
        +noise Gaussian -quality 90 "$base"
    for ((i = 1; i <= count; i++)); do
        # shellcheck disable=SC2086 # a flip is zero, one or two words
        "$CONVERT" "$base" -roll "+$((i * 397))+$((i * 211))" ${flips[i % 4]} -quality 90 \
            "$folder/photo-$(printf %03d "$i").jpg" &
        if ((i % jobs == 0)); then
            wait
        fi
    done
    wait
    if (($(count_files "$folder" '*.jpg') != count)); then
        echo "could not make the photos" >&2
        exit 1
    fi
}

# png_size FILE  WIDTHxHEIGHT of a PNG file, from its header.
png_size() {
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d\n", (($1 * 256 + $2) * 256 + $3) * 256 + $4,
        (($5 * 256 + $6) * 256 + $7) * 256 + $8 }'
}

# png_sizes DIR  the sizes of the PNG images in DIR, one "WIDTHxHEIGHT" a line, each once.
png_sizes() {
    local file
    find "$1" -name '*.png' -print0 | while IFS= read -r -d '' file; do
        png_size "$file"
    done | sort -u
}

# same_size A B  stops unless the PNG images in folders A and B come in the same sizes, give or
# take a pixel a side (pdftoppm rounds a page's size up, Miravel to the nearest pixel): a peer
# must make the same output as Miravel.
same_size() {
    local a b
    a=$(png_sizes "$1")
    b=$(png_sizes "$2")
    if ! paste <(echo "$a") <(echo "$b") | tr 'x' ' ' | awk '
            function off(u, v) { return u > v + 1 || v > u + 1 }
            NF != 4 || off($1, $3) || off($2, $4) { bad = 1 }
            END { exit bad }'; then
        echo "The images in $1 and in $2 differ in size:" >&2
        diff <(echo "$a") <(echo "$b") >&2 || true
        exit 1
    fi
}

# count_files DIR GLOB  number of files in DIR whose name matches GLOB.
count_files() {
    find "$1" -maxdepth 1 -type f -name "$2" | wc -l
}
