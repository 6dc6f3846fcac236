#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and UBSan) and runs each for the
# given number of seconds (default 600), one after the other, growing a corpus per target in
# build/fuzz/corpus/<target> from the seeds in fuzz/corpus/<target>. Usage:
#   bash scripts/fuzz.sh [seconds] [target...]     targets: listing map console core panel expression
#                                                 assembler symbols history
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
tervik_install_packages
seconds="${1:-600}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(listing map console core panel expression assembler symbols history)
cmake --preset fuzz -S "$TERVIK_ROOT" >/dev/null
cmake --build --preset fuzz --target $(printf 'fuzz_%s ' "${targets[@]}")
for t in "${targets[@]}"; do
  corpus="$TERVIK_ROOT/build/fuzz/corpus/$t"
  mkdir -p "$corpus"
  dict=()
  [ -f "$TERVIK_ROOT/fuzz/$t.dict" ] && dict=(-dict="$TERVIK_ROOT/fuzz/$t.dict")
  echo "== fuzz_$t for ${seconds}s =="
  (cd "$TERVIK_ROOT/build/fuzz" && "./bin/fuzz_$t" "${dict[@]}" -max_total_time="$seconds" \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$TERVIK_ROOT/build/fuzz/crash-$t-" \
      "$corpus" "$TERVIK_ROOT/fuzz/corpus/$t")
done
