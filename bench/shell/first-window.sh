#!/usr/bin/env bash
# Time from exec to the first visible window under a private Xvfb: the
# program (its first window is the splash) beside a trivial wx GTK frame
# program, alternating, RUNS times each; prints each median in milliseconds
# and their ratio. A window counts once xdotool lists it as viewable for
# the process. The server is told not to reset when its last client leaves,
# so that the next start finds it answering.
#
# With --instructions, the instructions the main thread runs until the
# window is made and shown instead, which the machine's load does not move:
# the program up to the end of its first UpdateWindow (the splash mapped,
# the window system caught up), the trivial frame up to the end of its
# OnInit (made and shown; it maps in the loop that follows), each counted
# once with callgrind after one start of the trivial frame has warmed the
# server (GTK keeps what it learns of the server's visuals on the root
# window, which the first start on a new server works out with GL).
# Threads of the toolkit's own (fontconfig's start) are left out: they run
# beside the main thread in both programs.
#
#   bench/shell/first-window.sh [build folder] [runs]     # default: build 20
#   bench/shell/first-window.sh --instructions [build folder]
set -euo pipefail
instructions=false
if [ "${1:-}" = --instructions ]; then
  instructions=true
  shift
fi
build=$(cd "${1:-build}" && pwd)
runs=${2:-20}
tools=(/usr/bin/Xvfb /usr/bin/xdotool)
$instructions && tools+=(/usr/bin/valgrind)
for tool in "${tools[@]}"; do
  [ -x "$tool" ] || { echo "first-window.sh: $tool is missing" >&2; exit 1; }
done
for program in orbweave trivial_wxframe; do
  [ -x "$build/bin/$program" ] || { echo "first-window.sh: build $program first" >&2; exit 1; }
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

if $instructions; then
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
  exit 0
fi

# Milliseconds from exec until a window of the process is viewable.
first_window() {
  local start end pid
  start=$(date +%s%N)
  ORBWEAVE_PREFIX="$work/registry" XDG_RUNTIME_DIR="$work" ORBCORE_SCRIPT=result:success "$@" >/dev/null 2>"$work/err" &
  pid=$!
  until xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "first-window.sh: $1 ended without a window:" >&2; cat "$work/err" >&2; return 1; }
  done
  end=$(date +%s%N)
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo $(((end - start) / 1000000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: > "$work/orbweave"
: > "$work/trivial"
for _ in $(seq "$runs"); do
  first_window "$build/bin/orbweave" >> "$work/orbweave"
  first_window "$build/bin/trivial_wxframe" >> "$work/trivial"
done
shell=$(median < "$work/orbweave")
trivial=$(median < "$work/trivial")
echo "orbweave first window: ${shell} ms (median of $runs)"
echo "trivial wx frame:      ${trivial} ms (median of $runs)"
awk -v a="$shell" -v b="$trivial" 'BEGIN { printf "ratio: %.2f (aim: at most 1.25)\n", a / b }'
