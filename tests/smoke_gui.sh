#!/usr/bin/env bash
# Smoke test of the real desktop program on a virtual X display, driven with the keyboard alone:
# hide a typed message through Ctrl+E and the dialogs, check the picture against mirel-cli,
# decode it back through Ctrl+D, hide the decoded text again (which must give the same picture),
# the same with a PNG carrier and a PNG picture,
# look at the Message Offsets box and the About window, leave through File > Exit and find no
# file left in the home and config folders. First the command line: --help and --version answer
# without a window, and without a display mirel says so in one line instead of aborting.
#   smoke_gui.sh MIREL MIREL_CLI SAMPLE_BMP
# Runs itself under xvfb-run when no display is set.
set -euo pipefail

if [ -z "${MIREL_SMOKE_INNER:-}" ]; then
  export MIREL_SMOKE_INNER=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

mirel=$1
cli=$2
sample=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-smoke.XXXXXX")
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/home" "$work/config" "$work/runtime"
chmod 0700 "$work/runtime"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
cp "$sample" "$work/carrier.bmp"

fail() {
  echo "smoke: $*" >&2
  exit 1
}

# wait_window TITLE_REGEX: prints the id of the visible window with that title, once it is there.
wait_window() {
  local id
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then
      xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
      sleep 0.3
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  fail "no window titled '$1' appeared"
}

wait_file() {
  for _ in $(seq 1 100); do
    [ -s "$1" ] && sleep 0.3 && return 0
    sleep 0.1
  done
  fail "$1 was not written"
}

type_text() { xdotool type --delay 15 "$1"; }

# start_run KEY: presses KEY (a File menu shortcut) once the window is idle: while a run still
# ends (a decode's key derivation takes a moment), "A process is currently running..." answers,
# which is closed and the key pressed again.
start_run() {
  for _ in $(seq 1 30); do
    wait_window "$main_title" >/dev/null
    xdotool key "$1"
    for _ in $(seq 1 10); do
      if xdotool search --onlyvisible --name '^(Password|File To Encode|Decode Bitmap)$' >/dev/null 2>&1; then
        return 0
      fi
      sleep 0.1
    done
    xdotool search --onlyvisible --name '^Mirel$' >/dev/null 2>&1 && xdotool key Return
    sleep 0.5
  done
  fail "no run started with $1"
}

# hide_message PASSWORD OUTPUT [CARRIER]: Ctrl+E, then the settings window (PASSWORD typed when
# given, else the one it offers; offset 7), the carrier (carrier.bmp unless given) and the new
# picture's name, all from the keyboard.
hide_message() {
  start_run ctrl+e
  settings_carrier_output "$@"
}

# hide_file FILE PASSWORD OUTPUT: Ctrl+F, the file to hide, then as hide_message.
hide_file() {
  start_run ctrl+f
  wait_window '^File To Encode$' >/dev/null
  type_text "$1"
  xdotool key Return
  shift
  settings_carrier_output "$@"
}

# The settings window, the carrier and the new picture's name of an encode run.
settings_carrier_output() {
  wait_window '^Password$' >/dev/null
  [ -n "$1" ] && type_text "$1"
  xdotool key Tab ctrl+a
  type_text "7"
  xdotool key Return
  wait_window '^Bitmap To Encode \(Req Size: ' >/dev/null
  type_text "${3:-$work/carrier.bmp}"
  xdotool key Return
  wait_window '^Save Encoded Bitmap As$' >/dev/null
  type_text "$2"
  xdotool key Return
  wait_file "$2"
}

# The command line, with no display at all.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
version=$("${nodisplay[@]}" "$mirel" --version) || fail "mirel --version failed"
[[ "$version" =~ ^mirel\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "mirel --version printed '$version'"
main_title="^Mirel v${version#mirel }\$"
"${nodisplay[@]}" "$mirel" --help | grep -q -- '--version' || fail "mirel --help does not name --version"
status=0
"${nodisplay[@]}" "$mirel" >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ "$status" -eq 1 ] || fail "without a display mirel ended with status $status"
[ "$(wc -l <"$work/err.txt")" -eq 1 ] && grep -q 'mirel-cli' "$work/err.txt" ||
  fail "without a display mirel said: $(cat "$work/err.txt")"

"$mirel" &
pid=$!
wait_window "$main_title" >/dev/null

# A no-break space is hidden as it was typed (byte A0), as mirel-cli hides it.
message=$'Smoke test: hidden at offset\u00a07.'
type_text "$message"

# Hide it: Ctrl+E, the settings window, the carrier, the new picture.
hide_message "tulip" "$work/gui.bmp"

"$cli" encode "$work/carrier.bmp" "$work/cli.bmp" --message "$message" --password tulip --offset 7 --quiet
cmp "$work/gui.bmp" "$work/cli.bmp" || fail "the picture differs from the one mirel-cli writes"

# decode_picture PICTURE: empties the text box and decodes PICTURE back into it (offset 7).
decode_picture() {
  wait_window "$main_title" >/dev/null
  xdotool key ctrl+a Delete
  start_run ctrl+d
  wait_window '^Decode Bitmap$' >/dev/null
  type_text "$1"
  xdotool key Return
  wait_window '^Password$' >/dev/null
  xdotool key Tab ctrl+a
  type_text "7"
  xdotool key Return
  wait_window "$main_title" >/dev/null
}

# Decode it, and hide what came back once more: the same picture proves the text came back
# unchanged.
decode_picture "$work/gui.bmp"
hide_message "" "$work/again.bmp"
cmp "$work/gui.bmp" "$work/again.bmp" || fail "the decoded message did not come back unchanged"

# The same with a PNG carrier and a PNG picture.
"$cli" encode "$work/carrier.bmp" "$work/carrier.png" --message "a carrier of its own" --quiet
wait_window "$main_title" >/dev/null
hide_message "" "$work/gui.png" "$work/carrier.png"
"$cli" encode "$work/carrier.png" "$work/cli.png" --message "$message" --password tulip --offset 7 --quiet
cmp "$work/gui.png" "$work/cli.png" || fail "the PNG differs from the one mirel-cli writes"
decode_picture "$work/gui.png"
hide_message "" "$work/again.png" "$work/carrier.png"
cmp "$work/gui.png" "$work/again.png" || fail "the message decoded from the PNG did not come back unchanged"

# toggle_strong_encryption: Tools > Strong Encryption, reached with the arrow keys (the item has
# no access key, so that stray typing cannot toggle it).
toggle_strong_encryption() {
  wait_window "$main_title" >/dev/null
  xdotool key alt+t
  sleep 0.3
  xdotool key Down Down Down Return
  sleep 0.3
}

# Any other name than .bmp or .png gets the plain bitmap, as mirel-cli writes it.
wait_window "$main_title" >/dev/null
hide_message "" "$work/out.dat"
"$cli" encode "$work/carrier.bmp" "$work/cli.dat" --message "$message" --password tulip --offset 7 --quiet
cmp "$work/out.dat" "$work/cli.dat" || fail "out.dat differs from the bitmap mirel-cli writes"

# Strong Encryption (Tools menu): a message and a file, sealed and opened again.
toggle_strong_encryption
hide_message "tulip" "$work/sealed.bmp"
"$cli" info "$work/sealed.bmp" --offset 7 | grep -q ', sealed$' || fail "Strong Encryption did not seal"
[ "$("$cli" decode "$work/sealed.bmp" --password tulip --offset 7 --quiet)" = "$message" ] ||
  fail "the sealed message does not open with mirel-cli"
decode_picture "$work/sealed.bmp"
sleep 3  # opening the seal takes its key derivation: the window stays alive, but busy, meanwhile
printf 'sealed file\n' > "$work/file.txt"
hide_file "$work/file.txt" "" "$work/sealed-file.bmp"
wait_window "$main_title" >/dev/null
start_run ctrl+d
wait_window '^Decode Bitmap$' >/dev/null
type_text "$work/sealed-file.bmp"
xdotool key Return
wait_window '^Password$' >/dev/null
xdotool key Tab ctrl+a
type_text "7"
xdotool key Return
wait_window '^Save File As$' >/dev/null
type_text "$work/opened.txt"
xdotool key Return
wait_file "$work/opened.txt"
cmp "$work/file.txt" "$work/opened.txt" || fail "the sealed file did not come back unchanged"
# While Strong Encryption is on, a picture that is not sealed decodes as ever (password tulip):
# hidden once more without the seal, its message gives the picture of before.
decode_picture "$work/gui.bmp"
toggle_strong_encryption
hide_message "" "$work/unsealed.bmp"
cmp "$work/gui.bmp" "$work/unsealed.bmp" || fail "a plain picture did not decode while Strong Encryption was on"

# The Message Offsets box (F3) and the About window (Help > About), each closed with Enter.
wait_window "$main_title" >/dev/null
xdotool key F3
wait_window '^Mirel - Message Offsets$' >/dev/null
xdotool key Return
wait_window "$main_title" >/dev/null
xdotool key alt+h
sleep 0.3
xdotool key a
about=$(wait_window '^About Mirel$')
xdotool key Return
for _ in $(seq 1 50); do
  xdotool search --onlyvisible --name '^About Mirel$' >/dev/null 2>&1 || break
  sleep 0.1
done
xdotool search --onlyvisible --name '^About Mirel$' >/dev/null 2>&1 && fail "OK did not close the About window $about"

# Leave through File > Exit.
wait_window "$main_title" >/dev/null
xdotool key alt+f
sleep 0.3
xdotool key x
for _ in $(seq 1 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end after File > Exit"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
# Nothing of where the pictures were is kept: no dialog history; only the choice of Strong
# Encryption.
left=$(find "$work/home" "$work/config" -type f ! -path "$work/config/Mirel.ini")
[ -z "$left" ] || fail "the program left files behind: $left"
echo "smoke: passed"
