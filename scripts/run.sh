#!/usr/bin/env bash
# Builds the program and runs it: the shell starts the burn engine with the
# task from the command line, e.g.  scripts/run.sh -autoplay -selectdrive E: -copy
# With a display the engine opens its window; without one it prints a summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" "$root/build" >&2
exec "$root/build/bin/orbweave" "$@"
