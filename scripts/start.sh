#!/usr/bin/env bash
# Installs what is missing, builds, and starts the emulator in the bundled examples folder.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
tervik_install_packages
tervik_build default
exe="$TERVIK_ROOT/build/default/bin/tervik"
if [ -x "$exe" ]; then
  cd "$TERVIK_ROOT/examples"
  # The demo, from its source: labels in the disassembly, the map of its folder.
  exec "$exe" hello.asm
fi
echo "Built the core, the tests and the benchmarks in build/default."
echo "The emulator window is not part of this build yet; run scripts/test.sh for the tests."
