#!/usr/bin/env bash
# Installs the Debian 12 packages Propagon needs to build, test and run.
# Idempotent and non-interactive; works as root or through sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev
  qt6-base-dev qt6-svg-dev libqt6svg6 libgl-dev
  libqcustomplot-dev
  python3 python3-periodictable
  python3-dev pybind11-dev python3-numpy python3-pytest
  parallel
  slurmctld slurmd slurm-client munge
  xvfb xauth imagemagick
  pandoc groff ghostscript poppler-utils
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
