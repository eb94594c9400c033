#!/bin/sh
# Runs a test with a home, config and runtime folder of its own, so that nothing it does
# touches the settings of the person running the suite.
set -eu
root=$(mktemp -d "${TMPDIR:-/tmp}/mirel-test.XXXXXX")
trap 'chmod -R u+w "$root" 2>/dev/null; rm -rf "$root"' EXIT
mkdir -p "$root/home" "$root/config" "$root/runtime" "$root/work"
chmod 0700 "$root/runtime"
export HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_RUNTIME_DIR="$root/runtime"
export MIREL_TEST_WORK="$root/work"
export LC_ALL=C.UTF-8 LANG=C.UTF-8
"$@"
