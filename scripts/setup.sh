#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Mirel need, when any is
# missing. Sourced by run.sh and test.sh; MIREL_PACKAGES may add more.
set -euo pipefail

mirel_packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-wayland libspng-dev libsodium-dev zlib1g-dev libjpeg-dev libcli11-dev
  ${MIREL_PACKAGES:-})

mirel_missing=()
for pkg in "${mirel_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    mirel_missing+=("$pkg")
  fi
done

if ((${#mirel_missing[@]})); then
  echo "Installing missing packages: ${mirel_missing[*]}"
  mirel_sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${mirel_missing[*]}" >&2; exit 1; }
    mirel_sudo=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${mirel_sudo[@]}" apt-get update -qq
  "${mirel_sudo[@]}" apt-get install -y -qq --no-install-recommends "${mirel_missing[@]}"
fi

# Builds the project into the given folder with the given extra CMake options: everything, or
# only the targets that MIREL_TARGETS names (separated by spaces).
mirel_build() {
  local dir=$1
  shift
  cmake -S "$MIREL_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  # Unquoted on purpose: one word per target.
  cmake --build "$dir" ${MIREL_TARGETS:+--target $MIREL_TARGETS}
}
