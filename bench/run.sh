#!/usr/bin/env bash
# Benchmark: mirel-cli against cp of the same file (and steghide when installed), all measured in
# this one run on this machine.
# Usage: bench/run.sh [RUNS]   (default 9 paired runs per measurement; medians are printed)
#        bench/run.sh --stego [MIREL-CLI]   the steganalysis benchmark instead (bench/stego.sh)
#
# Goals:
#   encode of 1 KB into the 72 MB carrier      at most 1.1 x cp of the carrier (wall time)
#   encode of 1 MB into the 72 MB carrier      at most 1.3 x cp of the carrier
#   decode from the 72 MB picture              at most 1.5 x decode from the 1 MB one
#   the desktop program's encode (one round of its event loop per yield, offscreen)
#                                              at most 1.2 x the console's
#   peak memory of encode                      under 16 MB
#   encode of 1 KB into a 6000 x 4000 PNG carrier (a photo-like picture: smooth colours with
#   noise in their lowest bits) writing a PNG  at most 1.0 x ImageMagick's convert of the same
#                                              PNG to a PNG, with a peak memory under 64 MB
#   opening a sealed 1 KB payload from the 72 MB picture
#                                              at most the key derivation's time plus 1.2 x an
#                                              unsealed decode
#   a guesser's cost per password (one key derivation)
#                                              at least 100 ms and 64 MB
# The same encodes into a 1 GB carrier are printed too, when the temporary folder has room.
set -euo pipefail
MIREL_ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = --stego ]; then
  shift
  exec "$MIREL_ROOT/bench/stego.sh" "$@"
fi
MIREL_PACKAGES="time imagemagick" source "$MIREL_ROOT/scripts/setup.sh"
runs=${1:-9}

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
head -c $((1024 * 1024)) /dev/urandom > payload-1m.bin
echo "File system of the temporary folder: $(df -T . | awk 'NR == 2 { print $2 }') ($work)"
echo "Carriers: big.bmp $(stat -c %s big.bmp) bytes, small.bmp $(stat -c %s small.bmp) bytes;" \
     "payloads of 1 KB and 1 MB; $runs runs each, medians."
echo

ms_of() {  # ms_of CMD...: the wall time of one run, in ms with one decimal
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.1f", ns / 1e6 }'
}

median() { sort -n | awk '{a[NR]=$1} END {m = (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2; printf "%.1f", m}'; }

# median_ms CMD...: runs CMD once to warm up, then $runs times; prints the median in ms.
median_ms() {
  "$@" >/dev/null 2>&1
  for ((k = 0; k < runs; k++)); do ms_of "$@"; echo; done | median
}

# paired CARRIER RUNS: cp of the carrier and encodes of 1 KB and 1 MB into it, taken in turn in
# every round so that all three see the same state of the machine. Sets cp_ms, kb_ms and mb_ms.
paired() {
  local carrier=$1 rounds=$2 cps=() kbs=() mbs=()
  cp "$carrier" copy.bmp
  "$cli" encode "$carrier" enc.bmp --file payload.bin --quiet
  "$cli" encode "$carrier" enc.bmp --file payload-1m.bin --quiet
  for ((k = 0; k < rounds; k++)); do
    cps+=("$(ms_of cp "$carrier" copy.bmp)")
    kbs+=("$(ms_of "$cli" encode "$carrier" enc.bmp --file payload.bin --quiet)")
    mbs+=("$(ms_of "$cli" encode "$carrier" enc.bmp --file payload-1m.bin --quiet)")
  done
  cp_ms=$(printf '%s\n' "${cps[@]}" | median)
  kb_ms=$(printf '%s\n' "${kbs[@]}" | median)
  mb_ms=$(printf '%s\n' "${mbs[@]}" | median)
  rm -f copy.bmp enc.bmp
}

# peak_kb CMD...: the peak resident memory of one run, in KiB.
peak_kb() {
  /usr/bin/time -f '%M' -o peak.txt "$@" >/dev/null 2>&1
  tail -n 1 peak.txt
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v r="$1" -v g="$2" 'BEGIN { print (r <= g) ? "met" : "NOT met" }'; }

paired big.bmp "$runs"
cp_big=$cp_ms enc_kb=$kb_ms enc_mb=$mb_ms
"$cli" encode big.bmp enc-big.bmp --file payload.bin --quiet
"$cli" encode small.bmp enc-small.bmp --file payload.bin --quiet
dec_big=$(median_ms "$cli" decode enc-big.bmp --output out.bin --force --quiet)
dec_small=$(median_ms "$cli" decode enc-small.bmp --output out.bin --force --quiet)
cmp -s out.bin payload.bin || { echo "decode did not give the payload back" >&2; exit 1; }

# Sealed: the key derivation alone is what opening the box saved as a file costs.
printf 'a bench password\n' > pw.txt
"$cli" encode big.bmp sealed.bmp --file payload.bin --seal --password-file pw.txt --quiet
"$cli" decode sealed.bmp --output box.mirel --force --quiet 2>/dev/null
dec_sealed=$(median_ms "$cli" decode sealed.bmp --password-file pw.txt --output out.bin --force --quiet)
cmp -s out.bin payload.bin || { echo "the sealed payload did not come back" >&2; exit 1; }
kdf_ms=$(median_ms "$cli" open box.mirel --password-file pw.txt --output out.bin --force --quiet)
kdf_peak=$(peak_kb "$cli" open box.mirel --password-file pw.txt --output out.bin --force --quiet)

enc_peak=$(peak_kb "$cli" encode big.bmp enc-peak.bmp --file payload-1m.bin --quiet)
dec_peak=$(peak_kb "$cli" decode enc-big.bmp --output out.bin --force --quiet)
rm -f enc-peak.bmp

printf '%-52s %10s\n' "measurement" "median ms"
printf '%-52s %10s\n' "cp of the 72 MB carrier" "$cp_big"
printf '%-52s %10s\n' "mirel-cli encode, 1 KB into the 72 MB carrier" "$enc_kb"
printf '%-52s %10s\n' "mirel-cli encode, 1 MB into the 72 MB carrier" "$enc_mb"
printf '%-52s %10s\n' "mirel-cli decode, 72 MB picture" "$dec_big"
printf '%-52s %10s\n' "mirel-cli decode, 1 MB picture" "$dec_small"
printf '%-52s %10s\n' "mirel-cli decode, sealed, 72 MB picture" "$dec_sealed"
printf '%-52s %10s\n' "mirel-cli open of the sealed box (key derivation)" "$kdf_ms"

# The 1 GB carrier, written for real (a sparse one would let cp skip its holes), when there is
# room for it, its copy and the new picture.
giga_rows=$((1024 * 1024 * 1024 / 18000))
if [ "$(df --output=avail -k . | tail -n 1)" -gt $((4 * 1024 * 1024)) ]; then
  "$mkbmp" giga.bmp 6000 "$giga_rows" --seed 9
  paired giga.bmp $(((runs + 1) / 2))
  cp_giga=$cp_ms kb_giga=$kb_ms mb_giga=$mb_ms
  rm -f giga.bmp
  printf '%-52s %10s\n' "cp of the 1 GB carrier" "$cp_giga"
  printf '%-52s %10s\n' "mirel-cli encode, 1 KB into the 1 GB carrier" "$kb_giga"
  printf '%-52s %10s\n' "mirel-cli encode, 1 MB into the 1 GB carrier" "$mb_giga"
else
  echo "(the temporary folder has less than 4 GB free: the 1 GB carrier is left out)"
fi

# A PNG carrier, made by ImageMagick, against ImageMagick's own re-encoding of it.
"$mkbmp" photo.bmp 6000 4000 --photo --seed 11
convert photo.bmp photo.png
rm -f photo.bmp
png_rounds=$(((runs + 2) / 3))
ims=() pngs=()
convert photo.png im.png
"$cli" encode photo.png enc.png --file payload.bin --quiet
for ((k = 0; k < png_rounds; k++)); do
  ims+=("$(ms_of convert photo.png im.png)")
  pngs+=("$(ms_of "$cli" encode photo.png enc.png --file payload.bin --quiet)")
done
im_png=$(printf '%s\n' "${ims[@]}" | median)
enc_png=$(printf '%s\n' "${pngs[@]}" | median)
png_peak=$(peak_kb "$cli" encode photo.png enc.png --file payload.bin --quiet)
"$cli" decode enc.png --output out.bin --force --quiet
cmp -s out.bin payload.bin || { echo "decode of the PNG did not give the payload back" >&2; exit 1; }
printf '%-52s %10s\n' "convert of the 6000 x 4000 PNG to a PNG ($png_rounds runs)" "$im_png"
printf '%-52s %10s\n' "mirel-cli encode, 1 KB into the PNG, to a PNG" "$enc_png"
printf '%-52s %10s\n' "  sizes: convert's PNG, mirel-cli's PNG (bytes)" "$(stat -c %s im.png), $(stat -c %s enc.png)"
rm -f photo.png im.png enc.png

desktop=$(QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work" "$build/bench/mirel-bench-yield" big.bmp payload.bin \
  yield.bmp "$runs" 2>/dev/null)
desk_ms=$(awk '$1 == "desktop_ms" { print $2 }' <<<"$desktop")
cons_ms=$(awk '$1 == "console_ms" { print $2 }' <<<"$desktop")
printf '%-52s %10s\n' "EncodePicture 72 MB, desktop yield" "$desk_ms"
printf '%-52s %10s\n' "EncodePicture 72 MB, console yield" "$cons_ms"

if command -v steghide >/dev/null; then
  steg_runs=$runs
  runs=1  # steghide takes far longer; one timed run after the warm-up
  steg_embed=$(median_ms steghide embed -q -f -cf big.bmp -ef payload.bin -sf steg.bmp -p bench)
  steg_extract=$(median_ms steghide extract -q -f -sf steg.bmp -xf steg-out.bin -p bench)
  runs=$steg_runs
  printf '%-52s %10s\n' "steghide embed, 72 MB carrier (1 run)" "$steg_embed"
  printf '%-52s %10s\n' "steghide extract, 72 MB picture (1 run)" "$steg_extract"
else
  echo "(steghide is not installed: apt-get install steghide to compare with it)"
fi

echo
kb_ratio=$(ratio "$enc_kb" "$cp_big")
mb_ratio=$(ratio "$enc_mb" "$cp_big")
dec_ratio=$(ratio "$dec_big" "$dec_small")
printf 'encode 1 KB into 72 MB / cp 72 MB:   %5s  (goal <= 1.1: %s)\n' "$kb_ratio" "$(verdict "$kb_ratio" 1.1)"
printf 'encode 1 MB into 72 MB / cp 72 MB:   %5s  (goal <= 1.3: %s)\n' "$mb_ratio" "$(verdict "$mb_ratio" 1.3)"
if [ -n "${cp_giga:-}" ]; then
  printf 'encode 1 KB into 1 GB / cp 1 GB:     %5s\n' "$(ratio "$kb_giga" "$cp_giga")"
  printf 'encode 1 MB into 1 GB / cp 1 GB:     %5s\n' "$(ratio "$mb_giga" "$cp_giga")"
fi
printf 'decode 72 MB / decode 1 MB:          %5s  (goal <= 1.5: %s)\n' "$dec_ratio" "$(verdict "$dec_ratio" 1.5)"
seal_ratio=$(awk -v s="$dec_sealed" -v k="$kdf_ms" -v d="$dec_big" 'BEGIN { printf "%.2f", (s - k) / d }')
printf 'sealed decode - key derivation, / decode 72 MB:  %5s  (goal <= 1.2: %s)\n' "$seal_ratio" \
  "$(verdict "$seal_ratio" 1.2)"
printf "a guesser's cost per password:       %5s ms, %s KiB  (goal >= 100 ms and 65536 KiB: %s)\n" "$kdf_ms" \
  "$kdf_peak" "$(awk -v t="$kdf_ms" -v m="$kdf_peak" 'BEGIN { print (t >= 100 && m >= 65536) ? "met" : "NOT met" }')"
png_ratio=$(ratio "$enc_png" "$im_png")
printf 'encode into PNG / convert PNG:        %5s  (goal <= 1.0: %s)\n' "$png_ratio" "$(verdict "$png_ratio" 1.0)"
printf 'peak memory of encode, PNG to PNG:   %5s KiB  (goal < 65536: %s)\n' "$png_peak" \
  "$( ((png_peak < 65536)) && echo met || echo NOT met)"
printf 'peak memory of encode, 72 MB, 1 MB:  %5s KiB  (goal < 16384: %s)\n' "$enc_peak" \
  "$( ((enc_peak < 16384)) && echo met || echo NOT met)"
printf 'peak memory of decode, 72 MB:        %5s KiB\n' "$dec_peak"
yield_ratio=$(ratio "$desk_ms" "$cons_ms")
printf 'desktop yield / console yield:       %5s  (goal <= 1.2: %s)\n' "$yield_ratio" "$(verdict "$yield_ratio" 1.2)"
if [ -n "${steg_embed:-}" ]; then
  printf 'steghide embed / mirel-cli encode:   %5s\n' "$(ratio "$steg_embed" "$enc_kb")"
  printf 'steghide extract / mirel-cli decode: %5s\n' "$(ratio "$steg_extract" "$dec_big")"
fi
