#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# with a fixed seed: scripts/fuzz.sh [build-dir] [total seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build-fuzz"}
seconds=${2:-60}
targets=(fuzz_char_encodings fuzz_string_ops fuzz_uri fuzz_regfile fuzz_text_conversions fuzz_path_mapping
         fuzz_registry_values fuzz_command_line fuzz_pathname_list fuzz_orbcore_script fuzz_about_markup fuzz_json_writer
         fuzz_chunkfile fuzz_langpack fuzz_po fuzz_user_dirs fuzz_string_format fuzz_value_list fuzz_datastore)

"$root/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DORBWEAVE_FUZZ=ON -DORBWEAVE_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" --target "${targets[@]}"

each=$((seconds / ${#targets[@]}))
[ "$each" -ge 1 ] || each=1
for target in "${targets[@]}"; do
  corpus="$dir/fuzz-corpus/$target"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  echo "== $target for ${each}s"
  # New inputs go to the build's folder; the seeds in fuzz/corpus are read only.
  seeds=()
  [ -d "$root/fuzz/corpus/$target" ] && seeds=("$root/fuzz/corpus/$target")
  # The program's own catalogs seed the .po reader.
  [ "$target" = fuzz_po ] && seeds+=("$root/resources/lang")
  "$dir/bin/$target" -seed=1 -max_total_time="$each" -max_len=4096 -print_final_stats=1 "$corpus" "${seeds[@]}"
done
