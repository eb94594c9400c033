#!/usr/bin/env bash
# Builds the Debian package: a release build without the tests in build-package/, then
# cpack. Installs what is missing first and prints the path of the .deb at the end.
set -euo pipefail
MIREL_ROOT=$(cd "$(dirname "$0")" && pwd)
MIREL_PACKAGES="dpkg-dev" source "$MIREL_ROOT/scripts/setup.sh"

dir="$MIREL_ROOT/build-package"
mirel_build "$dir" -DCMAKE_BUILD_TYPE=Release -DMIREL_BUILD_TESTS=OFF -DMIREL_BUILD_GUI=ON
cd "$dir"
# Only this version's package is left behind, so the path printed is the one just made.
rm -f "$dir"/mirel_*.deb
cpack -G DEB
deb=$(ls "$dir"/mirel_*.deb)
echo
echo "$deb"
