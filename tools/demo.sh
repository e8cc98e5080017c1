#!/usr/bin/env bash
# The main job, as far as it exists: see README.
set -euo pipefail
build=${1:-build/default}
"$build/tools/orvo/orvo" boot
