#!/usr/bin/env bash
# Builds the Debian package: a build without the tests in build-package/ with the flags a Debian
# package is built with, then cpack, then lintian. Installs what is missing first and prints the
# path of the .deb at the end; fails when lintian finds an error or a warning.
set -euo pipefail
MIREL_ROOT=$(cd "$(dirname "$0")" && pwd)
MIREL_PACKAGES="dpkg-dev lintian" source "$MIREL_ROOT/scripts/setup.sh"

dir="$MIREL_ROOT/build-package"
# Debian's compiler and linker flags with every hardening feature on. As in a debhelper build,
# the build type None adds no flags of CMake's own, and CPPFLAGS (_FORTIFY_SOURCE), which CMake
# does not read, goes with CXXFLAGS. The flags are passed on every run, so that a build folder
# configured earlier cannot keep older ones; dpkg-buildflags maps file paths below the current
# folder, hence the cd.
cd "$MIREL_ROOT"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
mirel_build "$dir" -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DMIREL_BUILD_TESTS=OFF -DMIREL_BUILD_GUI=ON
cd "$dir"
# Only this version's package is left behind, so the path printed is the one just made.
rm -f "$dir"/mirel_*.deb
cpack -G DEB
deb=$(ls "$dir"/mirel_*.deb)

echo
echo "lintian:"
lintian --pedantic --display-info --fail-on error,warning "$deb"
echo
echo "$deb"
