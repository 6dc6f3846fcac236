#!/usr/bin/env bash
# Soaks the window under AddressSanitizer and UndefinedBehaviorSanitizer: random commands (the
# reverse ones too), keys, clicks, wheel turns, docking and loads, also during runs, for the
# given number of seconds (default 1200). Usage:
#   bash scripts/soak.sh [seconds] [seed]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
tervik_install_packages
seconds="${1:-1200}"
tervik_build asan
export QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='qt.qpa.*=false'
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TERVIK_SOAK_SECONDS="$seconds"
# Qt Test ends a test function after 300 s unless told otherwise (milliseconds): give it the soak
# and ten minutes for the start, the sanitizers' shut-down and the leak check.
export QTEST_FUNCTION_TIMEOUT="$(( (${seconds%.*} + 600) * 1000 ))"
[ $# -ge 2 ] && export TERVIK_SOAK_SEED="$2"
exec "$TERVIK_ROOT/build/asan/bin/tervik_soak_test"
