#!/usr/bin/env bash
# Sets up, builds and runs every test through ctest.
#   ./test.sh             the normal suite, in build/
#   ./test.sh --sanitize  the same suite with AddressSanitizer and UBSan, in build-sanitize/
set -euo pipefail
MIREL_ROOT=$(cd "$(dirname "$0")" && pwd)
MIREL_PACKAGES="xvfb xauth xdotool dpkg-dev" source "$MIREL_ROOT/scripts/setup.sh"

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
