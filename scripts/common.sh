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

# Debian's compiler and linker flags, as a Debian package build uses them (dpkg-buildflags, from
# dpkg-dev): -O2, -fstack-protector-strong, -Wformat -Werror=format-security, -D_FORTIFY_SOURCE=2
# and relro, with bindnow (-Wl,-z,now) on top. Exports CFLAGS, CXXFLAGS (with CPPFLAGS folded in, as debhelper does, since CMake
# reads no CPPFLAGS) and LDFLAGS, and puts the same flags as CMake cache variables into
# TERVIK_DEBIAN_CMAKE_ARGS: CMake reads the environment on a build folder's first configure only,
# while the cache variables, given on every configure, survive a re-configure of an existing folder.
# dpkg-buildflags runs in the source root so that -ffile-prefix-map maps it to ".".
# The release preset is built with these; the Debian package build is to call this same function,
# so CI tests the flags the package ships with.
tervik_debian_flags() {
  local cppflags
  # Every hardening feature, as Debian asks of programs that handle files of outside origin: on
  # top of the defaults this adds immediate binding (-Wl,-z,now), so the relocation table is
  # read-only for the whole run.
  export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
  cppflags=$(cd "$TERVIK_ROOT" && dpkg-buildflags --get CPPFLAGS)
  CFLAGS="$cppflags $(cd "$TERVIK_ROOT" && dpkg-buildflags --get CFLAGS)"
  CXXFLAGS="$cppflags $(cd "$TERVIK_ROOT" && dpkg-buildflags --get CXXFLAGS)"
  LDFLAGS=$(cd "$TERVIK_ROOT" && dpkg-buildflags --get LDFLAGS)
  export CFLAGS CXXFLAGS LDFLAGS
  TERVIK_DEBIAN_CMAKE_ARGS=("-DCMAKE_C_FLAGS=$CFLAGS" "-DCMAKE_CXX_FLAGS=$CXXFLAGS"
    "-DCMAKE_EXE_LINKER_FLAGS=$LDFLAGS" "-DCMAKE_SHARED_LINKER_FLAGS=$LDFLAGS"
    "-DCMAKE_MODULE_LINKER_FLAGS=$LDFLAGS")
}

# Configures and builds one preset (default, debug, asan, core, release, clang). The release
# preset gets Debian's flags; the subshell keeps them out of the other presets' first configure.
tervik_build() {
  local preset="$1"
  (
    TERVIK_DEBIAN_CMAKE_ARGS=()
    if [ "$preset" = release ]; then tervik_debian_flags; fi
    cmake --preset "$preset" -S "$TERVIK_ROOT" "${TERVIK_DEBIAN_CMAKE_ARGS[@]}" >/dev/null
  )
  cmake --build --preset "$preset" -j "$(nproc)"
}
