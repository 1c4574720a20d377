#!/usr/bin/env bash
# Runs every benchmark of a bench build folder and prints their figures.
set -euo pipefail
dir=${1:-build/bench}
shopt -s nullglob
for b in "$dir"/bin/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
