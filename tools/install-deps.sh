#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libtomlplusplus-dev libcli11-dev nlohmann-json3-dev
  libncurses-dev tmux
  clang-14 libclang-rt-14-dev
  libwin-hivex-perl binutils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
