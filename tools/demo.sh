#!/bin/sh
# Starts the player on the bench rig and reports that it ran.
set -e
build=${1:-build}
export RIG_DIR="$(cd "$build" && pwd)/rig"
python3 tests/rig/rig.py setup
trap 'python3 tests/rig/rig.py teardown' EXIT
tests/rig/wine-run "$build/bin/hrx.exe"
echo "hrx.exe ran on the bench rig (exit code $?)."
