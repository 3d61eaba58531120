#!/usr/bin/env bash
# Installs what is missing, builds the fuzz targets with clang and runs each one on its seeds
# for the given number of seconds (30 by default). A crash, a leak or a sanitizer report fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
seconds=${1:-30}
build=${FUZZ_BUILD_DIR:-build-fuzz}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DPELLUCAN_FUZZ=ON
cmake --build "$build" --parallel
mkdir -p "$build/findings" "$build/crashes" "$build/logs"
export LSAN_OPTIONS=suppressions=$PWD/tests/fuzz/lsan.supp:print_suppressions=0
for seeds in tests/fuzz/corpus/*/; do
  name=$(basename "$seeds")
  options=(-max_total_time="$seconds" -artifact_prefix="$build/crashes/$name-")
  case $name in file_receiving | reply_dispatch) options+=(-dict=tests/fuzz/reads.dict) ;; esac
  # New inputs go to the build folder; the seeds in the tree stay as they are.
  mkdir -p "$build/findings/$name"
  log=$build/logs/$name.log
  if ! "$build/tests/fuzz/${name}_fuzzer" "${options[@]}" "$build/findings/$name" "$seeds" \
    >"$log" 2>&1; then
    cat "$log"
    echo "${name}_fuzzer failed; the input is in $build/crashes/" >&2
    exit 1
  fi
  echo "${name}_fuzzer: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)"
done
