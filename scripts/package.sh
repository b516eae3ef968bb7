#!/usr/bin/env bash
# Makes the Debian packages from the build in build/ (or $BUILD_DIR), bringing it up to date first:
#   build/packages/winorvex_<version>_<arch>.deb             the station and its tools
#   build/packages/winorvex-simulators_<version>_<arch>.deb  the reader and results-program simulators
# then runs lintian on them (any error fails). Installs what packaging needs when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
scripts/build.sh
cd "$BUILD_DIR"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' CMakeCache.txt)
arch=$(dpkg --print-architecture)
cpack -G DEB >/dev/null
debs=("packages/winorvex_${version}_${arch}.deb" "packages/winorvex-simulators_${version}_${arch}.deb")
status=0
report=$(lintian --fail-on error --tag-display-limit 0 "${debs[@]}" 2>/dev/null) || status=$?
grep -E '^[EW]:' <<<"$report" || true
[ "$status" -eq 0 ] || { echo "package: lintian reports errors" >&2; exit 1; }
for deb in "${debs[@]}"; do echo "$(pwd)/$deb"; done
