# Shared by start.sh and test.sh: installs missing packages and builds one preset.
# Sourced, not run.

TERVIK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Installs what scripts/packages.txt lists and the machine lacks; does nothing (and asks no
# package server) when everything is there.
tervik_install_packages() {
  local wanted missing=()
  wanted=$(grep -v -E '^\s*(#|$)' "$TERVIK_ROOT/scripts/packages.txt")
  for p in $wanted; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# Configures and builds one preset (default, debug, asan).
tervik_build() {
  local preset="$1"
  cmake --preset "$preset" -S "$TERVIK_ROOT" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
}
