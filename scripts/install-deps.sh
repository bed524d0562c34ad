#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those
# that are missing: one `apt-get update`, then one `apt-get install -y`.
set -euo pipefail

packages=(
  cmake g++ make
  libboost-dev                 # header-only parts: format, random, math, smart_ptr
  libboost-program-options-dev
  libboost-filesystem-dev
  libgtest-dev
  libbenchmark-dev
  pkg-config
  libfftw3-dev                 # double-precision transforms of the steep filter's long stages
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  sudo_cmd=""
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update
  $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
