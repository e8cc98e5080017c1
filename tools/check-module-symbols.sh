#!/usr/bin/env bash
# Checks that a driver module imports nothing but the port driver's ScsiPort* operations
# (and memcpy/memset) and exports nothing but DriverEntry.
# Usage: check-module-symbols.sh MODULE [sanitized]   (sanitized: allow the sanitizer runtime)
set -euo pipefail
module=$1
sanitized=${2:-OFF}
allowed='^(ScsiPort[A-Za-z]+|memcpy|memset)(@.*)?$'
case "$sanitized" in ON|on|1|true|sanitized) allowed='^(ScsiPort[A-Za-z]+|memcpy|memset|__asan_.*|__ubsan_.*|__sanitizer_.*)(@.*)?$' ;; esac
status=0
# Weak references (w) are the toolchain's start-up boilerplate, resolved to nothing if absent.
imports=$(nm -D --undefined-only "$module" | awk '$1 == "U" { print $2 }')
bad=$(printf '%s\n' "$imports" | grep -Ev "$allowed" | sed '/^$/d' || true)
if [ -n "$bad" ]; then
  echo "$module imports more than the port driver's operations:"; printf '  %s\n' $bad; status=1
fi
exports=$(nm -D --defined-only "$module" | awk '{ print $3 }' | sed '/^$/d')
if [ "$exports" != "DriverEntry" ]; then
  echo "$module exports more (or other) than DriverEntry:"; printf '  %s\n' $exports; status=1
fi
[ $status -eq 0 ] && echo "$module: imports $(printf '%s\n' "$imports" | wc -l) port-driver operations, exports DriverEntry"
exit $status
