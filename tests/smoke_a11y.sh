#!/usr/bin/env bash
# Smoke test of the real desktop program as a screen reader meets it, through the accessibility
# tree (smoke_a11y.py drives it), on a display of the given kind: an X display (Xvfb) or a
# Wayland compositor (weston, headless), each with a D-Bus session and an accessibility bus of its
# own. Then the picture it made must be the one mirel-cli makes, the web link must have reached
# the desktop's opener, and the program must have said nothing on standard error.
#   isolated.sh smoke_a11y.sh x11|wayland MIREL MIREL_CLI SAMPLE_BMP
# Exits 77 (skipped), saying why, when a component it needs is missing.
set -euo pipefail
kind=$1
mirel=$2
cli=$3
sample=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$MIREL_TEST_WORK
message=$'Hidden through the accessibility tree, caf\xc3\xa9 at noon.'

skip() {
  echo "smoke_a11y: skipped: $*"
  exit 77
}
fail() {
  echo "smoke_a11y: $*" >&2
  exit 1
}

# First the components, then the same script again inside the display and the session bus,
# which starts the accessibility bus with its socket in this test's own XDG_RUNTIME_DIR.
if [ -z "${MIREL_A11Y_PYTHON:-}" ]; then
  for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c 'import pyatspi' 2>/dev/null; then
      export MIREL_A11Y_PYTHON=$candidate
      break
    fi
  done
  [ -n "${MIREL_A11Y_PYTHON:-}" ] || skip "no python3 with pyatspi (Debian: python3-pyatspi)"
  command -v dbus-run-session >/dev/null || skip "no dbus-run-session (Debian: dbus-daemon)"
  [ -f /usr/share/dbus-1/services/org.a11y.Bus.service ] || skip "no accessibility bus (Debian: at-spi2-core)"
  case $kind in
    x11)
      command -v xvfb-run >/dev/null || skip "no xvfb-run (Debian: xvfb)"
      command -v xdotool >/dev/null || skip "no xdotool, which gives the windows the keyboard on Xvfb"
      ;;
    wayland) command -v weston >/dev/null || skip "no weston" ;;
    *) fail "unknown kind of display: $kind" ;;
  esac
  # The desktop's opener of addresses, standing in for the browser: notes what it was given.
  mkdir "$work/bin"
  printf '#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s/opened.txt"\n' "$work" > "$work/bin/xdg-open"
  chmod +x "$work/bin/xdg-open"
  export PATH="$work/bin:$PATH"
  cp "$sample" "$work/carrier.bmp"
  unset DISPLAY WAYLAND_DISPLAY
  if [ "$kind" = x11 ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- "$0" "$@"
  fi
  exec dbus-run-session -- "$0" "$@"
fi

if [ "$kind" = x11 ]; then
  export QT_QPA_PLATFORM=xcb
else
  weston --backend=headless-backend.so --socket=mirel-a11y --idle-time=0 >"$work/weston.txt" 2>&1 &
  compositor=$!
  trap 'kill "$compositor" 2>/dev/null || true' EXIT
  for _ in $(seq 1 100); do
    [ -S "$XDG_RUNTIME_DIR/mirel-a11y" ] && break
    sleep 0.1
  done
  [ -S "$XDG_RUNTIME_DIR/mirel-a11y" ] || fail "weston did not start: $(cat "$work/weston.txt")"
  export WAYLAND_DISPLAY=mirel-a11y QT_QPA_PLATFORM=wayland
  # A headless weston has no seat (no keyboard, no pointer), and Qt 6.4's Wayland text input
  # then crashes (SIGSEGV in QWaylandInputDevice::textInput) as soon as a line edit is drawn.
  # With the compose input method Qt asks no seat for text input. A real session has a seat:
  # the program sets nothing of this itself.
  export QT_IM_MODULE=compose
fi

"$MIREL_A11Y_PYTHON" "$here/smoke_a11y.py" "$mirel" "$work" "$message" || {
  if grep -q 'Could not find the Qt platform plugin "wayland"' "$work/stderr.txt" 2>/dev/null; then
    skip "Qt has no wayland platform plugin (Debian: qt6-wayland)"
  fi
  fail "the program's standard error: $(cat "$work/stderr.txt")"
}

"$cli" encode "$work/carrier.bmp" "$work/cli.bmp" --message "$message" --password tulip --offset 7 --quiet
cmp "$work/a11y.bmp" "$work/cli.bmp" || fail "the picture differs from the one mirel-cli writes"
grep -qx 'http://www.corvane.example/' "$work/opened.txt" || fail "the web link opened: $(cat "$work/opened.txt")"
[ ! -s "$work/stderr.txt" ] || fail "the program said: $(cat "$work/stderr.txt")"
echo "smoke_a11y: passed on $kind"
