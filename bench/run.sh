#!/usr/bin/env bash
# Benchmark: mirel-cli against cp (and steghide when installed) on a 72 MB and a 1 MB carrier.
# Usage: bench/run.sh [RUNS]   (default 5 runs per measurement; medians are printed)
#
# Goals: encode of the 72 MB carrier at most 1.5 x cp of it; decode from the 72 MB picture at
# most 1.5 x decode from the 1 MB one; peak memory of encode under 32 MB; the desktop program's
# encode (one round of its event loop per row, offscreen) at most 1.2 x the console's.
set -euo pipefail
MIREL_ROOT=$(cd "$(dirname "$0")/.." && pwd)
MIREL_PACKAGES="time" source "$MIREL_ROOT/scripts/setup.sh"
runs=${1:-5}

build="$MIREL_ROOT/build-bench"
mirel_build "$build" -DCMAKE_BUILD_TYPE=Release -DMIREL_BUILD_TESTS=ON
cli="$build/cli/mirel-cli"
mkbmp="$build/bench/mirel-mkbmp"

work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
"$mkbmp" big.bmp 6000 4000 --seed 7
"$mkbmp" small.bmp 600 560 --seed 8
head -c 1024 /dev/urandom > payload.bin
echo "Carriers: big.bmp $(stat -c %s big.bmp) bytes, small.bmp $(stat -c %s small.bmp) bytes;" \
     "payload 1024 bytes; $runs runs each, medians."
echo

# median_ms CMD...: runs CMD once to warm up, then $runs times; prints the median in ms.
median_ms() {
  "$@" >/dev/null 2>&1
  local times=() start end
  for ((k = 0; k < runs; k++)); do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {m = (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2; printf "%.1f", m / 1000}'
}

# peak_kb CMD...: the peak resident memory of one run, in KiB.
peak_kb() {
  /usr/bin/time -f '%M' -o peak.txt "$@" >/dev/null 2>&1
  tail -n 1 peak.txt
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v r="$1" -v g="$2" 'BEGIN { print (r <= g) ? "met" : "NOT met" }'; }

cp_big=$(median_ms cp big.bmp copy.bmp)
enc_big=$(median_ms "$cli" encode big.bmp enc-big.bmp --file payload.bin --quiet)
enc_small=$(median_ms "$cli" encode small.bmp enc-small.bmp --file payload.bin --quiet)
dec_big=$(median_ms "$cli" decode enc-big.bmp --output out.bin --force --quiet)
dec_small=$(median_ms "$cli" decode enc-small.bmp --output out.bin --force --quiet)
cmp -s <(tail -c 1024 out.bin) payload.bin || { echo "decode did not give the payload back" >&2; exit 1; }

enc_peak=$(peak_kb "$cli" encode big.bmp enc-big.bmp --file payload.bin --quiet)
dec_peak=$(peak_kb "$cli" decode enc-big.bmp --output out.bin --force --quiet)

printf '%-44s %10s\n' "measurement" "median ms"
printf '%-44s %10s\n' "cp of the 72 MB carrier" "$cp_big"
printf '%-44s %10s\n' "mirel-cli encode, 72 MB carrier" "$enc_big"
printf '%-44s %10s\n' "mirel-cli encode, 1 MB carrier" "$enc_small"
printf '%-44s %10s\n' "mirel-cli decode, 72 MB picture" "$dec_big"
printf '%-44s %10s\n' "mirel-cli decode, 1 MB picture" "$dec_small"

desktop=$(QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work" "$build/bench/mirel-bench-yield" big.bmp payload.bin \
  yield.bmp "$runs" 2>/dev/null)
desk_ms=$(awk '$1 == "desktop_ms" { print $2 }' <<<"$desktop")
cons_ms=$(awk '$1 == "console_ms" { print $2 }' <<<"$desktop")
printf '%-44s %10s\n' "EncodePicture 72 MB, desktop yield" "$desk_ms"
printf '%-44s %10s\n' "EncodePicture 72 MB, console yield" "$cons_ms"

if command -v steghide >/dev/null; then
  steg_runs=$runs
  runs=1  # steghide takes far longer; one timed run after the warm-up
  steg_embed=$(median_ms steghide embed -q -f -cf big.bmp -ef payload.bin -sf steg.bmp -p bench)
  steg_extract=$(median_ms steghide extract -q -f -sf steg.bmp -xf steg-out.bin -p bench)
  runs=$steg_runs
  printf '%-44s %10s\n' "steghide embed, 72 MB carrier (1 run)" "$steg_embed"
  printf '%-44s %10s\n' "steghide extract, 72 MB picture (1 run)" "$steg_extract"
else
  echo "(steghide is not installed: apt-get install steghide to compare with it)"
fi

echo
enc_ratio=$(ratio "$enc_big" "$cp_big")
dec_ratio=$(ratio "$dec_big" "$dec_small")
printf 'encode 72 MB / cp 72 MB:             %5s  (goal <= 1.5: %s)\n' "$enc_ratio" "$(verdict "$enc_ratio" 1.5)"
printf 'decode 72 MB / decode 1 MB:          %5s  (goal <= 1.5: %s)\n' "$dec_ratio" "$(verdict "$dec_ratio" 1.5)"
printf 'peak memory of encode, 72 MB:        %5s KiB  (goal < 32768: %s)\n' "$enc_peak" \
  "$( ((enc_peak < 32768)) && echo met || echo NOT met)"
printf 'peak memory of decode, 72 MB:        %5s KiB\n' "$dec_peak"
yield_ratio=$(ratio "$desk_ms" "$cons_ms")
printf 'desktop yield / console yield:       %5s  (goal <= 1.2: %s)\n' "$yield_ratio" "$(verdict "$yield_ratio" 1.2)"
if [ -n "${steg_embed:-}" ]; then
  printf 'steghide embed / mirel-cli encode:   %5s\n' "$(ratio "$steg_embed" "$enc_big")"
  printf 'steghide extract / mirel-cli decode: %5s\n' "$(ratio "$steg_extract" "$dec_big")"
fi
