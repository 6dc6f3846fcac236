#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first the optimised build, then the
# same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
tervik_install_packages
export QT_QPA_PLATFORM=offscreen
for preset in default asan; do
  echo "== $preset =="
  tervik_build "$preset"
  ctest --preset "$preset" -j "$(nproc)"
done
