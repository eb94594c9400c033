#!/usr/bin/env bash
# Benchmark: mirel-cli against cp of the same file (and steghide when installed), all measured in
# this one run on this machine.
# Usage: bench/run.sh [RUNS] [png]   (default 9 paired runs per measurement; medians are printed;
#        "png" measures the PNG pictures only)
#        bench/run.sh --stego [MIREL-CLI]   the steganalysis benchmark instead (bench/stego.sh)
#
# Goals:
#   encode of 1 KB into the 72 MB carrier      at most 1.1 x cp of the carrier (wall time)
#   encode of 1 MB into the 72 MB carrier      at most 1.3 x cp of the carrier
#   decode from the 72 MB picture              at most 1.5 x decode from the 1 MB one
#   the desktop program's encode (one round of its event loop per yield, offscreen)
#                                              at most 1.2 x the console's
#   peak memory of encode                      under 16 MB
#   on a 4000 x 3000 photo-like PNG (ImageMagick's plasma with Gaussian noise, 8 bits):
#     encode of 1 KB, PNG to PNG               at most 2 x cp of the carrier, no larger than it + 1 %
#     encode of 1 KB from its BMP to a PNG     at most 0.35 x ImageMagick's convert of the BMP to a
#                                              PNG, at most 1.03 x its size
#     the same from a JPEG of it               at most 0.35 x convert of the JPEG, 1.03 x its size
#     decode and info of the PNG written       at most 1.2 x inflating its image data alone
#     decode from an 8000 x 6000 PNG           at most 4 x that from the 4000 x 3000 one
#     peak memory of each                      under 64 MB
#   encode into a new file (nothing there), 72 MB carrier:
#     1 KB at most 1.1 x, 1 MB at most 1.3 x cp into a new file
#   decoding a sealed 1 KB payload from the 72 MB picture
#                                              at most 1.1 x the key derivation alone plus an
#                                              unsealed decode (taken in turn, in the same rounds)
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
only=${2:-}

build="$MIREL_ROOT/build-bench"
mirel_build "$build" -DCMAKE_BUILD_TYPE=Release -DMIREL_BUILD_TESTS=ON
cli="$build/cli/mirel-cli"
mkbmp="$build/bench/mirel-mkbmp"
inflate="$build/bench/mirel-inflate-png"

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

ms_of() {  # ms_of CMD...: the wall time of one run, in ms with one decimal; a failed run ends the benchmark
  local start end
  start=$(date +%s%N)
  if ! "$@" >/dev/null 2>&1; then
    echo "bench: a timed command failed: $*" >&2
    kill -TERM $$
    return 1
  fi
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
  "$cli" encode "$carrier" enc.bmp --file payload.bin --quiet --force
  "$cli" encode "$carrier" enc.bmp --file payload-1m.bin --quiet --force
  for ((k = 0; k < rounds; k++)); do
    cps+=("$(ms_of cp "$carrier" copy.bmp)")
    kbs+=("$(ms_of "$cli" encode "$carrier" enc.bmp --file payload.bin --quiet --force)")
    mbs+=("$(ms_of "$cli" encode "$carrier" enc.bmp --file payload-1m.bin --quiet --force)")
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

# alternate ROUNDS F G: the functions F and G in turn, ROUNDS times after a warm-up of each, so
# that both see the same state of the machine; sets f_ms and g_ms to their medians.
alternate() {
  local rounds=$1 f=$2 g=$3 fs=() gs=()
  "$f" >/dev/null 2>&1
  "$g" >/dev/null 2>&1
  for ((k = 0; k < rounds; k++)); do
    fs+=("$(ms_of "$f")")
    gs+=("$(ms_of "$g")")
  done
  f_ms=$(printf '%s\n' "${fs[@]}" | median)
  g_ms=$(printf '%s\n' "${gs[@]}" | median)
}

row() { printf '%-52s %10s\n' "$1" "$2"; }
# goal TEXT RATIO GOAL: a ratio against its goal.
goal() { printf '%-44s %6s  (goal <= %s: %s)\n' "$1" "$2" "$3" "$(verdict "$2" "$3")"; }
memory() { printf '%-44s %6s KiB  (goal < 65536: %s)\n' "peak memory of $1" "$2" \
  "$( (($2 < 65536)) && echo met || echo NOT met)"; }

# The PNG pictures: a 12-megapixel photo-like PNG made by ImageMagick (smooth colours with noise
# in their lowest bits), its BMP, and a 48-megapixel PNG of four of it.
png_bench() {
  local rounds=$(((runs + 2) / 3))
  convert -size 4000x3000 -seed 11 plasma:fractal -attenuate 0.3 +noise Gaussian -depth 8 photo.png
  convert photo.png -type TrueColor photo.bmp
  convert photo.png -quality 92 photo.jpg
  convert photo.png \( +clone \) +append \( +clone \) -append -depth 8 photo48.png
  "$cli" encode photo48.png enc48.png --file payload.bin --quiet --force

  copy_png() { cp photo.png copy.png; }
  splice_png() { "$cli" encode photo.png enc.png --file payload.bin --quiet --force; }
  alternate "$rounds" copy_png splice_png
  local cp_png=$f_ms enc_png=$g_ms
  convert_bmp() { convert photo.bmp im.png; }
  full_png() { "$cli" encode photo.bmp full.png --file payload.bin --quiet --force; }
  alternate "$rounds" convert_bmp full_png
  local im_png=$f_ms full_png=$g_ms
  convert_jpg() { convert photo.jpg imj.png; }
  full_jpg() { "$cli" encode photo.jpg fullj.png --file payload.bin --quiet --force; }
  alternate "$rounds" convert_jpg full_jpg
  local im_jpg=$f_ms full_jpg=$g_ms
  inflate_png() { "$inflate" enc.png; }
  decode_png() { "$cli" decode enc.png --output out.bin --force --quiet; }
  info_png() { "$cli" info enc.png; }
  decode48_png() { "$cli" decode enc48.png --output out.bin --force --quiet; }
  alternate "$runs" inflate_png decode_png
  local inflate_ms=$f_ms decode_ms=$g_ms
  alternate "$runs" inflate_png info_png
  local inflate2_ms=$f_ms info_ms=$g_ms
  alternate "$runs" decode_png decode48_png
  local decode12_ms=$f_ms decode48_ms=$g_ms
  "$cli" decode enc48.png --output out.bin --force --quiet
  cmp -s out.bin payload.bin || { echo "decode of the PNG did not give the payload back" >&2; exit 1; }
  "$cli" decode full.png --output out.bin --force --quiet
  cmp -s out.bin payload.bin || { echo "decode of the PNG did not give the payload back" >&2; exit 1; }

  "$cli" decode fullj.png --output out.bin --force --quiet
  cmp -s out.bin payload.bin || { echo "decode of the PNG did not give the payload back" >&2; exit 1; }

  local peak_splice peak_full peak_jpg peak_decode peak_info
  peak_splice=$(peak_kb "$cli" encode photo.png enc.png --file payload.bin --quiet --force)
  peak_full=$(peak_kb "$cli" encode photo.bmp full.png --file payload.bin --quiet --force)
  peak_jpg=$(peak_kb "$cli" encode photo.jpg fullj.png --file payload.bin --quiet --force)
  peak_decode=$(peak_kb "$cli" decode enc48.png --output out.bin --force --quiet)
  peak_info=$(peak_kb "$cli" info enc48.png)
  local size_png size_enc size_im size_full size_imj size_fullj
  size_png=$(stat -c %s photo.png) size_enc=$(stat -c %s enc.png)
  size_im=$(stat -c %s im.png) size_full=$(stat -c %s full.png)
  size_imj=$(stat -c %s imj.png) size_fullj=$(stat -c %s fullj.png)

  row "cp of the 4000 x 3000 PNG ($rounds runs)" "$cp_png"
  row "mirel-cli encode, 1 KB, PNG to PNG" "$enc_png"
  row "convert of its BMP to a PNG ($rounds runs)" "$im_png"
  row "mirel-cli encode, 1 KB, its BMP to a PNG" "$full_png"
  row "convert of a JPEG of it to a PNG ($rounds runs)" "$im_jpg"
  row "mirel-cli encode, 1 KB, the JPEG to a PNG" "$full_jpg"
  row "inflating the image data of the PNG written" "$inflate_ms"
  row "mirel-cli decode of it" "$decode_ms"
  row "mirel-cli info of it" "$info_ms"
  row "mirel-cli decode, 8000 x 6000 PNG" "$decode48_ms"
  row "  sizes: carrier, PNG to PNG (bytes)" "$size_png, $size_enc"
  row "  sizes: convert's PNG, BMP to PNG (bytes)" "$size_im, $size_full"
  row "  sizes: from the JPEG, convert's, mirel's (bytes)" "$size_imj, $size_fullj"
  echo
  goal "encode PNG to PNG / cp:" "$(ratio "$enc_png" "$cp_png")" 2
  goal "  its size / the carrier's:" "$(ratio "$size_enc" "$size_png")" 1.01
  goal "encode BMP to PNG / convert:" "$(ratio "$full_png" "$im_png")" 0.35
  goal "  its size / convert's:" "$(ratio "$size_full" "$size_im")" 1.03
  goal "encode JPEG to PNG / convert:" "$(ratio "$full_jpg" "$im_jpg")" 0.35
  goal "  its size / convert's:" "$(ratio "$size_fullj" "$size_imj")" 1.03
  goal "decode / inflate:" "$(ratio "$decode_ms" "$inflate_ms")" 1.2
  goal "info / inflate:" "$(ratio "$info_ms" "$inflate2_ms")" 1.2
  goal "decode 48 MP / decode 12 MP:" "$(ratio "$decode48_ms" "$decode12_ms")" 4
  memory "encode, PNG to PNG:" "$peak_splice"
  memory "encode, BMP to PNG:" "$peak_full"
  memory "encode, JPEG to PNG:" "$peak_jpg"
  memory "decode, 48 MP:" "$peak_decode"
  memory "info, 48 MP:" "$peak_info"
  echo "cores: $(nproc); load: $(cut -d ' ' -f 1-3 /proc/loadavg)"
  rm -f photo.png photo.bmp photo.jpg photo48.png enc48.png copy.png enc.png im.png full.png imj.png fullj.png
}

if [ "$only" = png ]; then
  png_bench
  exit 0
fi

paired big.bmp "$runs"
cp_big=$cp_ms enc_kb=$kb_ms enc_mb=$mb_ms
"$cli" encode big.bmp enc-big.bmp --file payload.bin --quiet --force
"$cli" encode small.bmp enc-small.bmp --file payload.bin --quiet --force
dec_big=$(median_ms "$cli" decode enc-big.bmp --output out.bin --force --quiet)
dec_small=$(median_ms "$cli" decode enc-small.bmp --output out.bin --force --quiet)
cmp -s out.bin payload.bin || { echo "decode did not give the payload back" >&2; exit 1; }

# Sealed: the key derivation alone is what opening the box saved as a file costs.
printf 'a bench password\n' > pw.txt
"$cli" encode big.bmp sealed.bmp --file payload.bin --seal --password-file pw.txt --quiet --force
"$cli" decode sealed.bmp --output box.mirel --force --quiet 2>/dev/null
sealed_decode() { "$cli" decode sealed.bmp --password-file pw.txt --output out.bin --force --quiet; }
open_box() { "$cli" open box.mirel --password-file pw.txt --output out-box.bin --force --quiet; }
alternate "$runs" sealed_decode open_box
dec_sealed=$f_ms kdf_ms=$g_ms
cmp -s out.bin payload.bin || { echo "the sealed payload did not come back" >&2; exit 1; }
kdf_peak=$(peak_kb "$cli" open box.mirel --password-file pw.txt --output out.bin --force --quiet)

enc_peak=$(peak_kb "$cli" encode big.bmp enc-peak.bmp --file payload-1m.bin --quiet --force)
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

# Into a new file: nothing at the destination, for cp as for the encodes.
news_cp=() news_kb=() news_mb=()
for ((k = 0; k < runs; k++)); do
  rm -f new.bmp
  news_cp+=("$(ms_of cp big.bmp new.bmp)")
  rm -f new.bmp
  news_kb+=("$(ms_of "$cli" encode big.bmp new.bmp --file payload.bin --quiet --force)")
  rm -f new.bmp
  news_mb+=("$(ms_of "$cli" encode big.bmp new.bmp --file payload-1m.bin --quiet --force)")
done
rm -f new.bmp
new_cp=$(printf '%s\n' "${news_cp[@]}" | median)
new_kb=$(printf '%s\n' "${news_kb[@]}" | median)
new_mb=$(printf '%s\n' "${news_mb[@]}" | median)
row "cp of the 72 MB carrier into a new file" "$new_cp"
row "mirel-cli encode, 1 KB into a new file" "$new_kb"
row "mirel-cli encode, 1 MB into a new file" "$new_mb"

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
seal_ratio=$(awk -v s="$dec_sealed" -v k="$kdf_ms" -v d="$dec_big" 'BEGIN { printf "%.2f", s / (k + d) }')
printf 'sealed decode / (key derivation + decode):  %5s  (goal <= 1.1: %s)\n' "$seal_ratio" \
  "$(verdict "$seal_ratio" 1.1)"
printf "a guesser's cost per password:       %5s ms, %s KiB  (goal >= 100 ms and 65536 KiB: %s)\n" "$kdf_ms" \
  "$kdf_peak" "$(awk -v t="$kdf_ms" -v m="$kdf_peak" 'BEGIN { print (t >= 100 && m >= 65536) ? "met" : "NOT met" }')"
printf 'peak memory of encode, 72 MB, 1 MB:  %5s KiB  (goal < 16384: %s)\n' "$enc_peak" \
  "$( ((enc_peak < 16384)) && echo met || echo NOT met)"
printf 'peak memory of decode, 72 MB:        %5s KiB\n' "$dec_peak"
goal "encode 1 KB into a new file / cp:" "$(ratio "$new_kb" "$new_cp")" 1.1
goal "encode 1 MB into a new file / cp:" "$(ratio "$new_mb" "$new_cp")" 1.3
yield_ratio=$(ratio "$desk_ms" "$cons_ms")
printf 'desktop yield / console yield:       %5s  (goal <= 1.2: %s)\n' "$yield_ratio" "$(verdict "$yield_ratio" 1.2)"
if [ -n "${steg_embed:-}" ]; then
  printf 'steghide embed / mirel-cli encode:   %5s\n' "$(ratio "$steg_embed" "$enc_kb")"
  printf 'steghide extract / mirel-cli decode: %5s\n' "$(ratio "$steg_extract" "$dec_big")"
fi

echo
png_bench
