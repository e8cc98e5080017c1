#!/usr/bin/env bash
# The utility's part of `make demo`: a machine made by `orvo init`, a scripted run of orvoset
# on it (demo.script), and what the run wrote into the machine's registry.
set -euo pipefail
build=$(cd "${1:-build/default}" && pwd)
script="$(cd "$(dirname "$0")" && pwd)/demo.script"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/orvo/orvo" init "$work/machine" >/dev/null
cd "$work/machine"
LANG=C.UTF-8 "$build/tools/orvoset/orvoset" --machine . --script "$script"
echo
echo "registry.reg after the run:"
awk '/^\[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\orvont(1\\Parameters|\\Parameters\\Device)\]$/ {show = 1}
     /^$/ {show = 0}
     show' registry.reg
