#!/usr/bin/env bash
# The whole story on a fresh simulated PC: the driver finds the card and the devices, a file
# goes onto the disk and back through the driver, the configuration utility chooses other
# resources and switches off synchronous transfer for ID 0, and the next start of Windows
# shows the driver working with what the utility wrote into the registry.
set -euo pipefail
build=$(cd "${1:-build/default}" && pwd)
orvo="$build/tools/orvo/orvo"
orvoset="$build/tools/orvoset/orvoset"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LANG=C.UTF-8

step() { printf '\n== %s\n' "$*"; }

step "orvo init: a PC running Windows NT 4.0 with the Orvo-88 card, a disk at ID 0, a CD-ROM at ID 3"
"$orvo" init "$work/machine"
cd "$work/machine"

step "orvo boot: Windows configures the card, the orvont driver finds it and scans the bus"
"$orvo" boot --machine .

step "orvo boot --build orvontx: the other Windows NT driver sets the card up in its socket itself"
"$orvo" boot --machine . --build orvontx | grep -E '^(build|adapter|card|access range|chip) '

step "a 1 MiB file onto the disk at block 100 through the driver, and back"
head -c 1048576 /dev/urandom > "$work/original.bin"
"$orvo" write --machine . --target 0 --lba 100 "$work/original.bin"
"$orvo" read --machine . --target 0 --lba 100 --count 2048 "$work/copy.bin"
cmp "$work/original.bin" "$work/copy.bin" && echo "the copy is identical to the original"

step "orvoset: I/O port 0x300, IRQ 10, no synchronous transfer with ID 0; OK, restart later"
cat > "$work/choices.script" <<'SCRIPT'
uncheck 1017
uncheck 1016
select 1002 2
select 1003 6
uncheck 1030
press 1
answer no
answer ok
SCRIPT
"$orvoset" --machine . --script "$work/choices.script" | grep -vE '^\s*\|\s*$'

step "orvo boot again: the new range, IRQ and option string take effect"
"$orvo" boot --machine .

step "orvoset now shows what Windows assigned at this start (then Cancel)"
printf 'show\npress 2\n' > "$work/look.script"
"$orvoset" --machine . --script "$work/look.script" | grep -E '^ *(1012|1013) '
