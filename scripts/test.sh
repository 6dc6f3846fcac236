#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the optimised build, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, the build without windows (which
# proves the core, the loaders and the tools need no Qt), the Release build with Debian's
# compiler and linker flags and CMake's Makefile generator (what users and the Debian package
# build use), and the whole project built with clang. Every build treats warnings as errors, so
# both compilers' warnings at both optimisation levels are seen.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
tervik_install_packages
export QT_QPA_PLATFORM=offscreen
for preset in default asan core release clang; do
  echo "== $preset =="
  tervik_build "$preset"
  ctest --preset "$preset" -j "$(nproc)"
done
