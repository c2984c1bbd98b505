#!/usr/bin/env bash
# Installs the Debian packages Miravel needs to build, run and test, and only those that
# are missing. Safe to run again: with everything present it installs nothing.
set -euo pipefail

packages=(
    # build
    cmake g++ make pkg-config
    qtbase5-dev qtbase5-dev-tools
    # `make test` checks the layout of every C++ source
    clang-format
    # every picture format Miravel reads (TIFF and others come as Qt plugins)
    qt5-image-formats-plugins
    # pdftopng
    libpoppler-cpp-dev libpng-dev
    # tests: reference renderings of pdftopng's pages, PDF text of produced thumbnails
    libpoppler-qt5-dev
    # office documents: the UNO SDK and metric-compatible fonts
    libreoffice-dev
    fonts-crosextra-carlito fonts-crosextra-caladea fonts-liberation2 fonts-dejavu-core
    # xdg-open: help pages and the support address open in the user's browser and mail program
    xdg-utils
    # tests: encrypted PDF fixtures, reading back office PDFs
    qpdf poppler-utils
)

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# Writer, Calc and Impress: keep a full LibreOffice where there is one, else the
# headless builds.
for module in writer calc impress; do
    if ! installed "libreoffice-$module" && ! installed "libreoffice-$module-nogui"; then
        packages+=("libreoffice-$module-nogui")
    fi
done

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "deps: all packages present"
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "deps: missing packages: ${missing[*]}" >&2
    echo "deps: run as root (or install them with apt-get) and try again" >&2
    exit 1
fi
echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
