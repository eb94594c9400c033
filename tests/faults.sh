#!/usr/bin/env bash
# Write failures made real: a file system that runs out of room and one that is read-only (both
# small tmpfs mounts in a private mount namespace), and a folder where the picture should go.
# The encoder must report "Encoding Error #" with the right code and fail, never report success,
# and the carrier must come through untouched.
#   faults.sh MIREL_CLI SAMPLE_BMP
# Exits 77 (skipped) where the machine does not allow private mounts.
set -euo pipefail

if [ -z "${MIREL_FAULTS_INNER:-}" ]; then
  export MIREL_FAULTS_INNER=1
  if unshare -m true 2>/dev/null; then
    exec unshare -m "$0" "$@"
  elif unshare -U -r -m true 2>/dev/null; then
    exec unshare -U -r -m "$0" "$@"
  fi
  echo "faults: private mounts are not allowed here; skipped"
  exit 77
fi

cli=$1
sample=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-faults.XXXXXX")
trap 'umount "$work/full" "$work/ro" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/full" "$work/ro" "$work/folder.bmp"
mount -t tmpfs -o size=64k tmpfs "$work/full" || { echo "faults: cannot mount; skipped"; exit 77; }
mount -t tmpfs -o size=64k tmpfs "$work/ro"
echo "an older picture" > "$work/ro/old.bmp"
mount -o remount,ro "$work/ro"
cp "$sample" "$work/carrier.bmp"

failures=0
# expect NAME STATUS PATTERN COMMAND...: the command must end with STATUS and say PATTERN on stderr.
expect() {
  local name=$1 want=$2 pattern=$3
  shift 3
  local status=0
  "$@" >"$work/out" 2>"$work/err" || status=$?
  if [ "$status" -ne "$want" ] || ! grep -q -- "$pattern" "$work/err"; then
    echo "FAIL $name: status $status (wanted $want), stderr:"
    sed 's/^/    /' "$work/err"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

expect "disk full" 2 "Encoding Error #61" \
  "$cli" encode "$work/carrier.bmp" "$work/full/out.bmp" --message "no room" --quiet
grep -q "Disk full" "$work/err" || { echo "FAIL disk full: no reason given"; failures=$((failures + 1)); }
expect "read-only file system" 2 "Encoding Error #70" \
  "$cli" encode "$work/carrier.bmp" "$work/ro/old.bmp" --message "no way" --quiet
[ "$(cat "$work/ro/old.bmp")" = "an older picture" ] || { echo "FAIL the old picture was lost"; failures=$((failures + 1)); }
expect "folder in the way" 2 "Encoding Error #75" \
  "$cli" encode "$work/carrier.bmp" "$work/folder.bmp" --message "blocked" --quiet

# A hidden file that cannot be saved.
head -c 20000 /dev/urandom > "$work/big.bin"
"$cli" encode "$work/carrier.bmp" "$work/hidden.bmp" --file "$work/big.bin" --quiet
expect "saving onto a full disk" 2 "Disk full" \
  "$cli" decode "$work/hidden.bmp" --output "$work/full/big.bin" --quiet
expect "saving onto a read-only disk" 2 "Cannot save" \
  "$cli" decode "$work/hidden.bmp" --output "$work/ro/big.bin" --quiet

cmp -s "$sample" "$work/carrier.bmp" || { echo "FAIL the carrier changed"; failures=$((failures + 1)); }
if [ "$failures" -gt 0 ]; then
  echo "faults: $failures failed"
  exit 1
fi
echo "faults: all passed"
