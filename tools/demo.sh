#!/usr/bin/env bash
# The main job on a fresh machine directory: boot the driver, find the SCSI devices, copy a
# file onto the disk through the driver and back, and compare.
set -euo pipefail
build=${1:-build/default}
orvo="$build/tools/orvo/orvo"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

step() { printf '\n== %s\n' "$*"; }

step "orvo init: a PC with the Orvo-88 card, a 64 MiB disk at ID 0 and a CD-ROM at ID 3"
"$orvo" init "$work/machine"

step "orvo boot: the orvont driver finds the card, initialises it and scans the bus"
"$orvo" boot --machine "$work/machine"

step "orvo write / read: 1 MiB onto the disk at block 100 and back, byte-wide then 32-bit"
head -c 1048576 /dev/urandom > "$work/original.bin"
"$orvo" write --machine "$work/machine" --target 0 --lba 100 "$work/original.bin"
"$orvo" read --machine "$work/machine" --target 0 --lba 100 --count 2048 "$work/copy.bin"
"$orvo" read --machine "$work/machine" --param /32 --target 0 --lba 100 --count 2048 "$work/copy32.bin"
cmp "$work/original.bin" "$work/copy.bin" && cmp "$work/original.bin" "$work/copy32.bin" &&
  echo "both copies are identical to the original"
