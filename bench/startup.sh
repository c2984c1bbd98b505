#!/usr/bin/env bash
# Usage: bench/startup.sh [build-dir]
# Time from process start to the first exposed window: Miravel's window against a bare
# QWidget in the same kind of program, both under Xvfb, best of 10 runs each.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${1:-$repo/build}

command -v xvfb-run >/dev/null || { apt-get update && apt-get install -y --no-install-recommends xvfb xauth; }
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target miravel-startup -j"$(nproc)" >/dev/null
probe="$build/bin/miravel-startup"

# Isolated settings and data, so a stored "don't show" or file list changes nothing.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data XDG_RUNTIME_DIR=$scratch/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

measure() { # prints the best start-to-expose time in ms over 10 runs
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
        best=
        for i in $(seq 10); do
            start=$(date +%s%N)
            exposed=$("$0" "$@" 2>/dev/null | sed -n "s/^EXPOSED_NS //p")
            ms=$(( (exposed - start) / 1000000 ))
            if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
        done
        echo "$best"' "$probe" "$@"
}

minimal=$(measure --minimal)
miravel=$(measure)
echo "minimal Qt window: ${minimal} ms"
echo "Miravel window:    ${miravel} ms"
echo "RATIO minimal-qt $(awk -v a="$miravel" -v b="$minimal" 'BEGIN { printf "%.2f", a / b }')"
