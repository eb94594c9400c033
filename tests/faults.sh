#!/usr/bin/env bash
# Faults made real against the real mirel-cli: file systems that are full or read-only (small
# tmpfs mounts in a private mount namespace), FIFOs, devices, dangling links, cut-off and
# malformed pictures, signals sent in the middle of a run or at its last steps, streams named as
# files, and files made their own by other users, ACLs, write protection or hard links. Every run
# must end with the status and message it should, never report success over missing or invented
# bytes, and leave every file it was pointed at as it was, with no temporary file behind.
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

cli=$(realpath "$1")
sample=$(realpath "$2")
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-faults.XXXXXX")
trap 'umount "$work/full" "$work/ro" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
mkdir -p full ro folder.bmp outside inbox
mount -t tmpfs -o size=64k tmpfs full || { echo "faults: cannot mount; skipped"; exit 77; }
mount -t tmpfs -o size=64k tmpfs ro
echo "an older picture" > ro/old.bmp
mount -o remount,ro ro
cp "$sample" carrier.bmp
echo important > full/keep.bmp
head -c 40000 /dev/zero > full/filler  # what is left cannot take the 20 KB file below

# Pictures to work on: one that holds a 20 KB file, a cut-off and a malformed carrier.
head -c 20000 /dev/urandom > big.bin
"$cli" encode carrier.bmp hidden.bmp --file big.bin --quiet
head -c 100000 carrier.bmp > cut.bmp
cp carrier.bmp negative.bmp
printf '\xf6\xfe\xff\xff' | dd of=negative.bmp bs=1 seek=18 conv=notrunc status=none  # width -266
mkfifo fifo.bmp
ln -s "$work/nowhere.bmp" dangling.bmp
mkdir src
printf payload > src/evil.txt
"$cli" encode carrier.bmp named.bmp --file src/evil.txt --quiet
# A message whose first bytes, read from 4 groups on, announce 21,194 bytes: the picture holds
# that many, but not after an offset of 4.
printf '\xca\x52\x00\x00 and the rest' > announcing.bin
"$cli" encode carrier.bmp announcing.bmp --message-file announcing.bin --quiet

# A picture of 20,000 x 20,000 pixels, 1-bit grey, a few KB: far more pixels than a carrier may have.
python3 - <<'PNG'
import struct, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
width = height = 20000
packer = zlib.compressobj(9)
row = b"\0" * (1 + width // 8)
data = b"".join(packer.compress(row) for _ in range(height)) + packer.flush()
with open("bomb.png", "wb") as out:
    out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 1, 0, 0, 0, 0)) +
              chunk(b"IDAT", data) + chunk(b"IEND", b""))
PNG

# A sealed box that asks its reader for 64 passes over 4 GiB, hidden by a stranger without any
# password: refused before any work.
python3 -c 'import os, struct; open("sealed.mirel", "wb").write(b"MIRELBOX\1\0" + struct.pack("<QQ", 64, 4 << 30) + os.urandom(80))'
"$cli" encode carrier.bmp costly.bmp --file sealed.mirel --quiet
rm sealed.mirel
echo pw > pw.txt
# A sealed 70 MB file of zeros, a box of 70 KB, in a carrier of 600 x 400 that can hold it: what
# it inflates to is more than memory should hold, and is held aside in the temporary folder.
python3 -c 'import os, struct; w, h = 600, 400; open("roomy.bmp", "wb").write(b"BM" + struct.pack("<IHHIIiiHHIIiiII", 54 + w * h * 3, 0, 0, 54, 40, w, h, 1, 24, 0, w * h * 3, 2835, 2835, 0, 0) + os.urandom(w * h * 3))'
head -c 70000000 /dev/zero > zeros.bin
"$cli" encode roomy.bmp inflating.bmp --file zeros.bin --seal --password-file pw.txt --quiet

failures=0
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}

# expect NAME STATUS PATTERN COMMAND...: the command must end with STATUS and say PATTERN (when not
# empty) on stderr.
expect() {
  local name=$1 want=$2 pattern=$3
  shift 3
  local status=0
  timeout 20 "$@" >out 2>err || status=$?
  if [ "$status" -ne "$want" ] || { [ -n "$pattern" ] && ! grep -q -- "$pattern" err; }; then
    fail "$name: status $status (wanted $want), stderr:"
    sed 's/^/    /' err
  else
    echo "ok   $name"
  fi
}

# same FILE TEXT: the file still holds exactly TEXT.
same() {
  [ "$(cat "$1" 2>/dev/null)" = "$2" ] || fail "$1 changed"
}

# A run stopped by a signal: the carrier or picture comes through a FIFO that stalls after a few
# rows, so that the signal surely arrives in the middle of the pass.
#   stopped NAME SIGNAL STATUS FEED COMMAND...
stopped() {
  local name=$1 signal=$2 want=$3 feed=$4
  shift 4
  rm -f slow.fifo
  mkfifo slow.fifo
  { head -c 20000 "$feed"; sleep 1.5; tail -c +20001 "$feed"; } >slow.fifo &
  local feeder=$!
  "$@" >out 2>err &
  local run=$!
  sleep 0.5
  kill "-$signal" "$run"
  local status=0
  wait "$run" || status=$?
  wait "$feeder" 2>/dev/null || true
  if [ "$status" -ne "$want" ]; then
    fail "$name: status $status (wanted $want)"
    sed 's/^/    /' err
  else
    echo "ok   $name"
  fi
}

# --- Encoding ------------------------------------------------------------------------------------
echo important > out.bmp
expect "over a file, without --force" 1 "exists already; give --force" \
  "$cli" encode carrier.bmp out.bmp --message "not over it" --quiet
same out.bmp important
expect "does not fit: the old picture stays" 1 "does not fit: carrier.bmp can hold at most" \
  "$cli" encode carrier.bmp out.bmp --message-file carrier.bmp --quiet --force
same out.bmp important
expect "disk full" 2 "cannot hide data in carrier.bmp: full/keep.bmp" \
  "$cli" encode carrier.bmp full/keep.bmp --message "no room" --quiet --force
grep -q "No space left on device" err || fail "disk full: no reason given"
same full/keep.bmp important
expect "read-only file system" 2 "Read-only file system" \
  "$cli" encode carrier.bmp ro/old.bmp --message "no way" --quiet --force
same ro/old.bmp "an older picture"
expect "cut-off carrier" 2 "the file ends before its last row" \
  "$cli" encode cut.bmp out.bmp --message x --quiet --force
same out.bmp important
expect "negative width" 2 "cannot hide data in negative.bmp: the picture's width is negative" \
  "$cli" encode negative.bmp out.bmp --message x --quiet --force
same out.bmp important
expect "a folder as the output" 1 "it is a folder, not a file" \
  "$cli" encode carrier.bmp folder.bmp --message x --quiet
expect "a FIFO as the output" 1 "it is a FIFO, not a file" \
  "$cli" encode carrier.bmp fifo.bmp --message x --quiet
ln -s /dev/stdout to-stdout.bmp
expect "a link to standard output" 1 "not a file" \
  bash -c 'set -o pipefail; "$0" encode carrier.bmp to-stdout.bmp --message x --quiet | cat' "$cli"
[ -L to-stdout.bmp ] || fail "the link to standard output was replaced"
expect "a carrier of 400 million pixels" 1 "more than 268,435,456 pixels" \
  "$cli" encode bomb.png out.png --message x --quiet --force
expect "a picture of 400 million pixels to decode" 1 "more than 268,435,456 pixels" "$cli" decode bomb.png --quiet
expect "a dangling link as the carrier" 1 "File not found" \
  "$cli" encode dangling.bmp out.bmp --message x --quiet
[ ! -e nowhere.bmp ] || fail "a file appeared behind the dangling link"
stopped "SIGTERM while encoding" TERM 143 carrier.bmp \
  "$cli" encode slow.fifo out.bmp --message "stop me" --quiet --force
same out.bmp important
stopped "Ctrl+C while encoding" INT 130 carrier.bmp "$cli" encode slow.fifo out.bmp --message "stop me" --quiet --force
same out.bmp important

# --- Decoding ------------------------------------------------------------------------------------
echo "a good copy" > inbox/big.bin
stopped "Ctrl+C while decoding a file" INT 130 hidden.bmp \
  "$cli" decode slow.fifo --output inbox/big.bin --force --quiet
same inbox/big.bin "a good copy"
echo "a good copy" > full/big.bin
expect "saving onto a full disk" 2 "Disk full" \
  "$cli" decode hidden.bmp --output full/big.bin --force --quiet
same full/big.bin "a good copy"
expect "saving onto a read-only disk" 2 "Cannot save" \
  "$cli" decode hidden.bmp --output ro/big.bin --quiet
# A link under the stored name points out of the folder: it is replaced, not written through.
echo "not yours" > outside/evil.txt
ln -s ../outside/evil.txt inbox/evil.txt
expect "a link under the stored name" 0 "" bash -c 'cd inbox && "$0" decode ../named.bmp --force --quiet' "$cli"
same outside/evil.txt "not yours"
[ ! -L inbox/evil.txt ] && [ "$(cat inbox/evil.txt)" = payload ] || fail "the decoded file is not in the folder"
expect "a message to a full standard output" 2 "Cannot write to standard output" \
  bash -c '"$0" encode carrier.bmp m.bmp --message hi --quiet && "$0" decode m.bmp > /dev/full' "$cli"
expect "info to a full standard output" 2 "Cannot write to standard output" \
  bash -c '"$0" info carrier.bmp > /dev/full' "$cli"
expect "a box that asks for 4 GiB" 1 "asks for more work than Mirel allows" \
  "$cli" decode costly.bmp --password-file pw.txt --quiet
[ ! -e sealed.mirel ] || fail "the costly box was written out"
expect "info on a box that asks for 4 GiB" 1 "asks for more work than Mirel allows" \
  bash -c '"$0" info costly.bmp --password-file pw.txt >&2' "$cli"
expect "a box that inflates past a full temporary folder" 2 "no room in the temporary folder" \
  env TMPDIR="$work/full" "$cli" decode inflating.bmp --password-file pw.txt --output inbox/zeros.bin --quiet
[ ! -e inbox/zeros.bin ] || fail "a part of the inflated file was written out"
expect "a box that inflates to 70 MB" 0 "" "$cli" decode inflating.bmp --password-file pw.txt --output inbox/zeros.bin --quiet
cmp -s zeros.bin inbox/zeros.bin || fail "the inflated file is not what was sealed"
rm zeros.bin inbox/zeros.bin
expect "a length that does not fit after the offset" 2 "announces more data than it can hold after offset 4" \
  "$cli" decode announcing.bmp --offset 4 --quiet

# --- Replacing -----------------------------------------------------------------------------------
"$cli" encode carrier.bmp msg.bmp --message "the secret" --quiet
# can_cover FOLDER: an empty file system can be mounted over FOLDER in a private mount namespace.
can_cover() { unshare -m mount -t tmpfs tmpfs "$1" 2>/dev/null; }
# Streams are written, never replaced, also as root with a private /dev (as in a container).
if can_cover /dev; then
  expect "--output /dev/stdout into a redirected file" 0 "a name under /dev" unshare -m bash -c \
    'mount -t tmpfs tmpfs /dev && ln -s /proc/self/fd/1 /dev/stdout &&
     "$0" decode msg.bmp --output /dev/stdout --force >redirected.txt && [ -L /dev/stdout ] &&
     ! "$0" decode msg.bmp --output /dev/new.txt --force && [ ! -e /dev/new.txt ]' "$cli"
  same redirected.txt "the secret"
fi
expect "--output /proc/self/fd/3" 0 "" bash -c '"$0" decode msg.bmp --output /proc/self/fd/3 3>fd3.txt' "$cli"
same fd3.txt "the secret"
# What was the old file's own stays with the new one.
echo "alice's" > kept.txt
chmod 640 kept.txt
if chown 1000:1000 kept.txt 2>/dev/null && setfacl -m u:nobody:r kept.txt 2>/dev/null; then
  setfattr -n user.tag -v kept kept.txt 2>/dev/null || true
  owned() { stat -c %u:%g:%a "$1"; getfacl -cn "$1"; getfattr -d "$1" 2>/dev/null | tail -n +2; }
  before=$(owned kept.txt)
  expect "decode --force keeps owner, ACL and attributes" 0 "" "$cli" decode msg.bmp --output kept.txt --force --quiet
  same kept.txt "the secret"
  [ "$(owned kept.txt)" = "$before" ] || fail "kept.txt lost what was its own: $(owned kept.txt)"
fi
cp msg.bmp locked.bmp
chmod 444 locked.bmp
expect "encoding over a write-protected picture" 1 "it is write-protected" \
  "$cli" encode carrier.bmp locked.bmp --message x --quiet
cmp -s msg.bmp locked.bmp || fail "locked.bmp changed"
echo old > locked.txt
chmod 444 locked.txt
expect "decode --force over a write-protected file" 0 "it was write-protected, and the new file is too" \
  "$cli" decode msg.bmp --output locked.txt --force --quiet
[ "$(stat -c %a locked.txt)" = 444 ] || fail "locked.txt is no longer write-protected"
cp msg.bmp linked.bmp
ln linked.bmp linked-too.bmp
expect "encoding over a hard-linked picture" 1 "another name (a hard link) that would keep" \
  "$cli" encode carrier.bmp linked.bmp --message x --quiet
cmp -s msg.bmp linked.bmp || fail "linked.bmp changed"
echo old > linked.txt
ln linked.txt linked-too.txt
expect "decode --force over a hard-linked file" 0 "its other name (a hard link) keeps the old content" \
  "$cli" decode msg.bmp --output linked.txt --force --quiet
same linked-too.txt old
# Bob, in a shared folder, is told before he takes Alice's files from her.
bob=(setpriv --reuid=1001 --regid=1001 --clear-groups)
chmod 755 "$work"
if "${bob[@]}" "$cli" --version >/dev/null 2>&1; then
  mkdir -m 777 shared
  echo "alice's" > shared/alice.txt
  cp msg.bmp shared/alice.bmp
  chown 1000:1001 shared/alice.txt shared/alice.bmp
  chmod 660 shared/alice.txt shared/alice.bmp
  expect "bob decoding over alice's file" 1 "it belongs to" \
    "${bob[@]}" "$cli" decode msg.bmp --output shared/alice.txt --quiet
  same shared/alice.txt "alice's"
  expect "bob encoding over alice's picture" 1 "it belongs to" \
    "${bob[@]}" "$cli" encode carrier.bmp shared/alice.bmp --message x --quiet
  cmp -s msg.bmp shared/alice.bmp || fail "alice's picture changed"
  expect "bob with --force is told what alice lost" 0 "its owner .* was not kept" \
    "${bob[@]}" "$cli" decode msg.bmp --output shared/alice.txt --force --quiet
  [ "$(stat -c %g:%a shared/alice.txt)" = 1001:660 ] || fail "alice.txt lost its group or permissions"
else
  echo "skip another user's files: cannot run as another user here"
fi
# A stop signal that arrives just as the new file takes its name (strace delivers it then)
# leaves the file complete and no temporary name behind.
if strace -f -o /dev/null true 2>/dev/null; then
  # LeakSanitizer cannot run under a tracer: a sanitized build checks leaks in the other rows.
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
  trace=(strace -f -o /dev/null)
  echo "a good copy" > inbox/secret.txt
  expect "Ctrl+C as the decoded file takes its name" 130 "" \
    "${trace[@]}" -e trace=linkat -e inject=linkat:signal=SIGINT "$cli" decode msg.bmp --output inbox/secret.txt --force --quiet
  same inbox/secret.txt "the secret"
  cp carrier.bmp exchanged.bmp
  expect "SIGTERM as the new picture takes its place" 0 "" \
    "${trace[@]}" -e trace=renameat2 -e inject=renameat2:signal=SIGTERM "$cli" encode carrier.bmp exchanged.bmp --message swapped --force --quiet
  [ "$("$cli" decode exchanged.bmp)" = swapped ] || fail "exchanged.bmp is not the new picture"
  # SIGKILL cannot be held: what it leaves under a temporary name (the old picture just after the
  # swap, a decoded secret just before its rename) goes with the next run that writes there,
  # but not while another program holds it.
  cp msg.bmp killed.bmp
  expect "SIGKILL just after the swap" 137 "" \
    "${trace[@]}" -e trace=unlink -e inject=unlink:signal=SIGKILL "$cli" encode carrier.bmp killed.bmp --message new --force --quiet
  echo "a good copy" > inbox/killed.txt
  expect "SIGKILL just before the decoded file takes its name" 137 "" \
    "${trace[@]}" -e trace=renameat2 -e inject=renameat2:signal=SIGKILL "$cli" decode msg.bmp --output inbox/killed.txt --force --quiet
  same inbox/killed.txt "a good copy"
  [ "$(find . -name '.killed.*.mirel-*' | wc -l)" = 2 ] || fail "SIGKILL left no temporary names to remove"
  touch .killed.bmp.mirel-Held00
  expect "the next runs remove what SIGKILL left" 0 "" flock .killed.bmp.mirel-Held00 bash -c \
    '"$0" encode carrier.bmp killed.bmp --message again --force --quiet && "$0" decode msg.bmp --output inbox/killed.txt --force --quiet' "$cli"
  [ "$(find . -name '.killed.*.mirel-*')" = ./.killed.bmp.mirel-Held00 ] || fail "wrong names removed: $(find . -name '.killed.*.mirel-*')"
  rm .killed.bmp.mirel-Held00
  # Where the folder cannot take a file without a name (here: no /proc), the name is there from
  # the first write; Ctrl+C takes it along.
  if can_cover /proc; then
    echo "a good copy" > inbox/secret.txt
    expect "Ctrl+C while the decoded file has a temporary name" 130 "" unshare -m bash -c \
      'mount -t tmpfs tmpfs /proc && exec strace -f -o /dev/null -e trace=write -e inject=write:signal=SIGINT \
       "$0" decode msg.bmp --output inbox/secret.txt --force --quiet' "$cli"
    same inbox/secret.txt "a good copy"
  fi
else
  echo "skip signals at the last steps: strace cannot trace here"
fi

cmp -s "$sample" carrier.bmp || fail "the carrier changed"
leftovers=$(find "$work" -name '*.mirel-*' | head -n 5)
[ -z "$leftovers" ] || fail "temporary files were left behind: $leftovers"
if [ "$failures" -gt 0 ]; then
  echo "faults: $failures failed"
  exit 1
fi
echo "faults: all passed"
