#!/usr/bin/env bash
# Sets up and builds the two programs, build/app/mirel and build/cli/mirel-cli (and what
# installing them needs, but no test, fuzz or benchmark program: ./test.sh builds those), then
# starts the desktop program.
#   ./run.sh          starts mirel; without a display (or without the desktop program) it runs
#                     the demonstration instead
#   ./run.sh --demo   a short mirel-cli demonstration on the sample picture, display or not
set -euo pipefail
MIREL_ROOT=$(cd "$(dirname "$0")" && pwd)
demo=
if [ "${1:-}" = "--demo" ]; then
  demo=1
  shift
fi
source "$MIREL_ROOT/scripts/setup.sh"
MIREL_TARGETS=mirel_programs mirel_build "$MIREL_ROOT/build"

gui="$MIREL_ROOT/build/app/mirel"
if [ -z "$demo" ] && [ -x "$gui" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$gui" "$@"
fi

cli="$MIREL_ROOT/build/cli/mirel-cli"
sample="$MIREL_ROOT/samples/swirl.bmp"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "== The sample picture"
"$cli" info "$sample"
echo
echo "== Hiding a message (password \"tulip\", offset 40)"
"$cli" encode "$sample" message.bmp --message "Meet me at the old mill at noon." \
  --password tulip --offset 40 --quiet
echo "== Decoding it back:"
"$cli" decode message.bmp --password tulip --offset 40 --quiet
echo
echo
printf 'Shopping list:\n- flour\n- eggs\n' > list.txt
echo "== Hiding the file list.txt ($(wc -c < list.txt) bytes)"
"$cli" encode "$sample" file.bmp --file list.txt --quiet
mkdir out
echo "== Decoding it into out/:"
(cd out && "$cli" decode ../file.bmp)
cat out/list.txt
cmp -s list.txt out/list.txt && echo "== The file came back unchanged."
