#!/usr/bin/env bash
# Builds the program with what it loads and runs it: the shell starts the
# burn engine with the task from the command line, e.g.
#   scripts/run.sh -autoplay -selectdrive E: -copy
# With a display the engine opens its window; without one it prints a summary.
# Only the program's own set is built (the target orbweave_program); the
# tests and benchmarks are built by scripts/test.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" --target orbweave_program "$root/build" >&2
exec "$root/build/bin/orbweave" "$@"
