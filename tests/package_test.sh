#!/usr/bin/env bash
# Builds the Debian package from an already-built build folder, unpacks it and tries it out.
#   package_test.sh BUILD_DIR SOURCE_DIR VERSION [CPACK [hardened]]
# With "hardened" (a build with MIREL_HARDENED) the binaries must carry the hardening features
# and lintian, when installed, must find no error, no warning and no hardening-no-* tag.
# Everything goes into a temporary folder that is removed at the end. Exits with 77 (skipped)
# when cpack or the dpkg tools are missing.
set -euo pipefail

build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
version=$3
cpack=${4:-cpack}
hardened=${5:-}

for tool in "$cpack" dpkg-deb dpkg-shlibdeps dpkg; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing"
    exit 77
  fi
done

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() {
  echo "ok: $*"
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/mirel-package.XXXXXX")
# Installing from a build folder always rewrites its install_manifest.txt; put back what was
# there before, so that the test leaves the build folder as it found it.
manifest=$build/install_manifest.txt
if [ -e "$manifest" ]; then
  cp -p "$manifest" "$tmp/manifest.saved"
fi
cleanup() {
  if [ -e "$tmp/manifest.saved" ]; then
    cp -p "$tmp/manifest.saved" "$manifest"
  else
    rm -f "$manifest"
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

# --- Build the package -----------------------------------------------------------------------
if ! "$cpack" --config "$build/CPackConfig.cmake" -B "$tmp/out" -G DEB >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log"
  echo "FAIL: cpack"
  exit 1
fi
debs=("$tmp"/out/*.deb)
if [ "${#debs[@]}" -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  cat "$tmp/cpack.log"
  echo "FAIL: cpack made ${#debs[@]} packages: ${debs[*]}"
  exit 1
fi
deb=${debs[0]}
arch=$(dpkg --print-architecture)
if [ "$(basename "$deb")" = "mirel_${version}_${arch}.deb" ]; then
  pass "package name $(basename "$deb")"
else
  fail "package name $(basename "$deb"), not mirel_${version}_${arch}.deb"
fi

# --- Control fields --------------------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = mirel ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
echo "Depends: $depends"
for dep in libqt6core6 libqt6widgets6 qt6-qpa-plugins qt6-wayland; do
  # The whole package name, with or without a version.
  re="(^|, )$dep( |,|$)"
  if [[ $depends =~ $re ]]; then
    pass "depends on $dep"
  else
    fail "Depends lacks $dep"
  fi
done

# --- Contents --------------------------------------------------------------------------------
root=$tmp/root
dpkg -x "$deb" "$root"

# Exactly the two programs: no test, benchmark or fuzz executables.
programs=$(find "$root/usr/bin" -mindepth 1 -printf '%f\n' 2>/dev/null | sort | tr '\n' ' ')
if [ "$programs" = "mirel mirel-cli " ]; then
  pass "programs: $programs"
else
  fail "usr/bin holds: $programs"
fi
# Nothing outside /usr.
others=$(find "$root" -mindepth 1 -maxdepth 1 ! -name usr -printf '%f ')
[ -z "$others" ] || fail "outside /usr: $others"

desktop=$root/usr/share/applications/mirel.desktop
if [ -f "$desktop" ]; then
  for line in Type=Application Name=Mirel "Exec=mirel %f" Icon=mirel Terminal=false "MimeType=image/bmp;image/png;"; do
    grep -qx "$line" "$desktop" || fail "desktop entry lacks $line"
  done
  if command -v desktop-file-validate >/dev/null; then
    # Hints are advice; errors and warnings are faults.
    problems=$(desktop-file-validate "$desktop" 2>&1 | grep -v ': hint: ' || true)
    [ -z "$problems" ] || fail "desktop-file-validate: $problems"
  fi
  pass "desktop entry"
else
  fail "no desktop entry"
fi

# Every size kept in forms/images, each really that size, and the drawing they come from.
icons=$root/usr/share/icons/hicolor
for png in "$source"/forms/images/mirel-*.png; do
  size=${png##*-}
  size=${size%.png}
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $1 * 2^24 + $2 * 2^16 + $3 * 2^8 + $4 "x" $5 * 2^24 + $6 * 2^16 + $7 * 2^8 + $8 }')
  if [ "$dims" != "${size}x$size" ]; then
    fail "$(basename "$png") is $dims pixels"
  elif cmp -s "$icons/${size}x$size/apps/mirel.png" "$png"; then
    pass "icon ${size}x$size"
  else
    fail "icon ${size}x$size missing or not the $size-pixel picture"
  fi
done
cmp -s "$icons/scalable/apps/mirel.svg" "$source/forms/images/mirel.svg" || fail "no scalable icon"

metainfo=$root/usr/share/metainfo/example.corvane.mirel.metainfo.xml
if [ ! -f "$metainfo" ]; then
  fail "no AppStream metadata"
elif command -v appstreamcli >/dev/null; then
  # The whole tree, so that the desktop entry it launches is checked as well. Infos are allowed:
  # the web address is http, and .example is no known top-level domain.
  if out=$(appstreamcli validate-tree --pedantic --no-net "$root/usr" 2>&1); then
    pass "AppStream metadata"
  else
    fail "appstreamcli validate-tree: $out"
  fi
  for binary in $(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$metainfo"); do
    [ -x "$root/usr/bin/$binary" ] || fail "the AppStream metadata provides $binary, which is not installed"
  done
else
  echo "SKIP: appstreamcli is missing (Debian package appstream)"
fi

# The licence and the changelog.
doc=$root/usr/share/doc/mirel
if [ -f "$doc/copyright" ] &&
  diff <(sed -n '/^Permission/,$p' "$source/LICENSE") <(sed -n '/^ Permission/,$p' "$doc/copyright" | sed 's/^ //; s/^\.$//'); then
  pass "copyright holds the licence"
else
  fail "copyright missing or without the licence of LICENSE"
fi
if zcat "$doc/changelog.gz" >"$tmp/changelog" 2>/dev/null; then
  # dpkg-parsechangelog warns about every line, in every entry, that does not fit the format.
  dpkg-parsechangelog -l "$tmp/changelog" --all >/dev/null 2>"$tmp/parse.log" || true
  newest=$(dpkg-parsechangelog -l "$tmp/changelog" -S Version 2>/dev/null || true)
  if [ -s "$tmp/parse.log" ]; then
    fail "changelog: $(cat "$tmp/parse.log")"
  elif [ "$newest" != "$version" ]; then
    fail "the newest changelog entry is '$newest', not $version: CHANGELOG.md needs an entry"
  else
    pass "changelog"
  fi
else
  fail "no changelog.gz"
fi

for page in mirel-cli mirel; do
  man=$root/usr/share/man/man1/$page.1.gz
  if [ ! -f "$man" ]; then
    man=$root/usr/share/man/man1/$page.1
  fi
  if [ ! -f "$man" ]; then
    fail "no man page for $page"
    continue
  fi
  if command -v groff >/dev/null; then
    warnings=$( { zcat -f "$man" | groff -man -Tutf8 -ww -z; } 2>&1 || true)
    [ -z "$warnings" ] || fail "man page $page: $warnings"
  fi
  pass "man page $(basename "$man")"
done

for program in mirel mirel-cli; do
  binary=$root/usr/bin/$program
  if command -v ldd >/dev/null && ldd "$binary" | grep -q 'not found'; then
    fail "$program needs libraries that are not there: $(ldd "$binary" | grep 'not found')"
  fi
  if command -v readelf >/dev/null; then
    ! readelf -S "$binary" | grep -qE '\.debug_info|\.comment' || fail "$program is not stripped"
    ! readelf -d "$binary" | grep -qE 'RPATH|RUNPATH' || fail "$program carries a library path"
    if [ "$hardened" = hardened ]; then
      missing=
      readelf -h "$binary" | grep -q 'Type: *DYN' || missing+=" PIE"
      readelf -lW "$binary" | grep -q GNU_RELRO || missing+=" RELRO"
      readelf -d "$binary" | grep -q BIND_NOW || missing+=" bind-now"
      # __stack_chk_fail comes from the stack protector, __printf_chk and the like from fortify.
      symbols=$(readelf --dyn-syms -W "$binary")
      grep -q '__stack_chk_fail@' <<<"$symbols" || missing+=" stack-protector"
      grep -qE '__[a-z0-9_]+_chk@' <<<"$symbols" || missing+=" fortify"
      [ -z "$missing" ] || fail "$program lacks:$missing"
    fi
  fi
done
if [ "$hardened" = hardened ] && command -v lintian >/dev/null; then
  tags=$(lintian --pedantic --display-info "$deb" 2>&1 | grep -E '^[EW]: |hardening-no-' || true)
  if [ -z "$tags" ]; then
    pass "lintian"
  else
    fail "lintian: $tags"
  fi
fi

# Bash completion, run the way bash runs it. A case reads WORDS|EXPECTED: mirel-cli WORDS, the
# last one (after the last space, so maybe empty) being completed, and the sorted candidates.
completion=$root/usr/share/bash-completion/completions/mirel-cli
if [ -f "$completion" ]; then
  mkdir -p "$tmp/files/folder"
  touch "$tmp/files/carrier.bmp" "$tmp/files/notes.txt"
  while IFS='|' read -r words expected; do
    got=$(cd "$tmp/files" && bash -c 'source "$1"; read -ra COMP_WORDS <<<"mirel-cli $2"
      [[ $2 == *" " ]] && COMP_WORDS+=("")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _mirel_cli; printf "%s\n" "${COMPREPLY[@]}"' - "$completion" "$words" |
      sort | xargs)
    [ "$got" = "$expected" ] || fail "completing 'mirel-cli $words' gave '$got', not '$expected'"
  done <<'CASES'
 |decode encode help info open
info --|--ask-password --help --json --offset --password --password-file --version
encode --message --file |carrier.bmp folder notes.txt
decode x.bmp --output = n|notes.txt
decode x.bmp --offset |
decode x.bmp |
CASES
  # Every command and every option of --help is known, the latter with a file name after those
  # that take a FILE or a PATH.
  commands=$(bash -c 'source "$1"; echo $_mirel_cli_commands' - "$completion")
  for command in $("$root/usr/bin/mirel-cli" --help | sed -nE 's/^ +mirel-cli ([a-z]+) .*/\1/p'); do
    [[ " $commands " == *" $command "* ]] || fail "completion: no command $command"
  done
  while read -r option value; do
    case $value in
      FILE | PATH) want='file' ;;
      '') want=- ;;
      *) want=text ;;
    esac
    got=$(bash -c 'source "$1"; _mirel_cli_kind "$2"' - "$completion" "$option")
    [ "$got" = "$want" ] || fail "completion: $option has the kind '$got', not '$want'"
  done < <("$root/usr/bin/mirel-cli" --help | sed -nE 's/^  (-[a-z], )?(--[a-z-]+)( ([A-Z]+))? .*/\2 \4/p')
  pass "bash completion"
else
  fail "no bash completion"
fi

# --- The installed mirel-cli -----------------------------------------------------------------
cli=$root/usr/bin/mirel-cli
sample=$source/samples/swirl.bmp
mkdir "$tmp/home" "$tmp/work"
cd "$tmp/work"
export HOME=$tmp/home LC_ALL=C.UTF-8

out=$("$cli" --version 2>&1) || true
if [ "$out" = "mirel-cli $version" ]; then
  pass "--version"
else
  fail "--version printed '$out', not 'mirel-cli $version'"
fi

out=$("$cli" info "$sample" 2>&1) || fail "info exited with $?"
if grep -q 'Width: *320 pixels' <<<"$out" && grep -q 'Capacity: *21,196 bytes' <<<"$out"; then
  pass "info"
else
  fail "info printed: $out"
fi

message="Meet me at the old mill at noon – bring the map."
if "$cli" encode "$sample" secret.bmp --message "$message" --password tulip --offset 40 --quiet; then
  out=$("$cli" decode secret.bmp --password tulip --offset 40 --quiet) || fail "decode exited with $?"
  if [ "$out" = "$message" ]; then
    pass "encode and decode"
  else
    fail "decode gave '$out'"
  fi
else
  fail "encode exited with $?"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "The package $(basename "$deb") is sound."
