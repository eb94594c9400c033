#!/usr/bin/env bash
# Steganalysis benchmark: classic detectors (RS, Sample Pair Analysis, the chi-square attack,
# Ker's calibrated HCF) and a trained detector (SPAM, colour residual and parity features, FLD
# ensemble, leave one scene out) against mirel-cli's plain layout, its stealth layout when the
# tool has one (encode --stealth), and steghide, on photos from python3-skimage; then encode and
# decode of 1 KB with a 72 MB carrier. Everything is measured in this one run; the goals and
# whether each was met end the table.
# Usage: bench/run.sh --stego [MIREL-CLI]   (default: the release build of this clone in
#                                            build-bench/; give another mirel-cli to measure it)
# Takes about five minutes on a 2-core machine, two processes at a time.
set -euo pipefail
MIREL_ROOT=$(cd "$(dirname "$0")/.." && pwd)
MIREL_PACKAGES="time steghide python3-numpy python3-scipy python3-skimage" \
  source "$MIREL_ROOT/scripts/setup.sh"

build="$MIREL_ROOT/build-bench"
MIREL_TARGETS="mirel-cli mirel-mkbmp" mirel_build "$build" -DCMAKE_BUILD_TYPE=Release \
  -DMIREL_BUILD_TESTS=ON
cli=$(realpath "${1:-$build/cli/mirel-cli}")

work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-stego.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Debian's python3 and its packages, whatever else is first on PATH; no bytecode left in bench/.
# One thread of linear algebra per process: the processes already take every core.
OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 "$MIREL_ROOT/bench/stego_bench.py" --cli "$cli" \
  --mkbmp "$build/bench/mirel-mkbmp" --work "$work"
