#!/usr/bin/env bash
# Instructions the main thread runs from exec until the first window is
# made and shown: the program up to the end of its first UpdateWindow (the
# splash, mapped, the window system caught up), the trivial wx GTK frame up
# to the end of its OnInit (made and shown; it maps in the loop that
# follows). Counted with callgrind under a private Xvfb that one GTK start
# has warmed first (GTK keeps what it learns of the server's visuals on the
# root window, which the first start on a new server works out with GL).
# Threads of the toolkit's own (fontconfig's start) are left out: they run
# beside the main thread in both programs. Unlike the times of
# first-window.sh, the counts do not move with the machine's load.
#
#   bench/shell/first-window-instructions.sh [build folder]   # default: build
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
for tool in /usr/bin/Xvfb /usr/bin/xdotool /usr/bin/valgrind; do
  [ -x "$tool" ] || { echo "first-window-instructions.sh: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
exec 3<> "$work/display"
/usr/bin/Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  number=$(head -n1 "$work/display" 2>/dev/null || true)
  [ -n "$number" ] && break
  sleep 0.05
done
export DISPLAY=":$number"
unset WAYLAND_DISPLAY

"$build/bin/trivial_wxframe" &
warm=$!
for _ in $(seq 200); do
  xdotool search --onlyvisible --pid "$warm" >/dev/null 2>&1 && break
  sleep 0.05
done
kill "$warm"
wait "$warm" 2>/dev/null || true

# Main-thread instructions of "$@" up to the end of the function named $1;
# a program still running after that is ended.
count() {
  local after=$1 out="$work/cg.$RANDOM" pid
  shift
  ORBWEAVE_PREFIX="$work/registry" XDG_RUNTIME_DIR="$work" ORBCORE_SCRIPT=result:success \
    valgrind --tool=callgrind --separate-threads=yes --dump-after="$after" \
    --callgrind-out-file="$out" "$@" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 600); do
    [ -s "$out.1-01" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
  done
  sleep 1
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  # The first dump, of thread 1.
  sed -n 's/^totals: //p' "$out.1-01"
}

program=$(count 'CWnd::UpdateWindow*' "$build/bin/orbweave")
trivial=$(count 'wxAppConsoleBase::CallOnInit*' "$build/bin/trivial_wxframe")
echo "orbweave to its first window:   $program instructions"
echo "trivial wx frame to its window: $trivial instructions"
awk -v a="$program" -v b="$trivial" 'BEGIN { printf "ratio: %.2f\n", a / b }'
