#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the optimised build, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the build without windows (which
# proves the core, the loaders and the tools need no Qt).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
tervik_install_packages
export QT_QPA_PLATFORM=offscreen
for preset in default asan core; do
  echo "== $preset =="
  tervik_build "$preset"
  ctest --preset "$preset" -j "$(nproc)"
done
