#!/usr/bin/env bash
# Remakes the README's pictures of the window (doc/screenshots/) on a virtual display, so
# they can follow the window when it changes. Installs Xvfb first if it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
if ! command -v xvfb-run >/dev/null; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "screenshots: install the package xvfb first" >&2
        exit 1
    fi
    apt-get update && apt-get install -y xvfb
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target miravel-screenshots
mkdir -p doc/screenshots
# A home of its own: no settings or caches of the user's are read or written.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME="$home" XDG_CONFIG_HOME= XDG_DATA_HOME= XDG_CACHE_HOME= \
    xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/miravel-screenshots doc/screenshots
echo "screenshots: doc/screenshots/file-types.png doc/screenshots/results.png"
