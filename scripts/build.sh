#!/usr/bin/env bash
# Configures and builds one build tree, everything or one target:
#   scripts/build.sh [--target NAME] [build-dir] [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=()
if [ "${1:-}" = --target ]; then
  target=(--target "$2")
  shift 2
fi
dir=${1:-"$root/build"}
shift || true
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" "${target[@]}"
