#!/usr/bin/env bash
# Sets up, builds and runs every test through ctest.
#   ./test.sh             the normal suite, in build/
#   ./test.sh --sanitize  the same suite with AddressSanitizer and UBSan, in build-sanitize/
#   ./test.sh --fuzz      each fuzz target for a few seconds under libFuzzer, ASan and UBSan, with
#                         clang, in build-fuzz/ (the normal suite replays what they once found)
set -euo pipefail
MIREL_ROOT=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" = "--fuzz" ]; then
  MIREL_PACKAGES="clang libclang-rt-14-dev" source "$MIREL_ROOT/scripts/setup.sh"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  mirel_build "$MIREL_ROOT/build-fuzz" -DCMAKE_CXX_COMPILER=clang++ -DMIREL_FUZZ=ON -DMIREL_SANITIZE=ON \
    -DMIREL_BUILD_GUI=OFF -DMIREL_BUILD_TESTS=OFF
  # The runs are registered in fuzz/: the root enables testing only for the test suite.
  exec ctest --test-dir "$MIREL_ROOT/build-fuzz/fuzz" --output-on-failure
fi
# The smoke tests' X display, Wayland compositor and accessibility stack, valgrind for the replay
# of carriers, the package test's tools, and the fault table's (ACLs, attributes, strace).
MIREL_PACKAGES="xvfb xauth xdotool weston dbus-daemon at-spi2-core python3-pyatspi valgrind dpkg-dev appstream
  desktop-file-utils acl attr strace" source "$MIREL_ROOT/scripts/setup.sh"

dir="$MIREL_ROOT/build"
options=()
if [ "${1:-}" = "--sanitize" ]; then
  dir="$MIREL_ROOT/build-sanitize"
  options=(-DMIREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export LSAN_OPTIONS="suppressions=$MIREL_ROOT/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
mirel_build "$dir" -DMIREL_BUILD_TESTS=ON "${options[@]}"
cd "$dir"
ctest --output-on-failure --timeout 300
