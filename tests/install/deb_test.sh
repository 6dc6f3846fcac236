#!/usr/bin/env bash
# deb_test.sh BUILD EXPECTED SOURCE: builds the Debian package with `cpack -G DEB` from the build
# and checks its file list against EXPECTED (which leaves out the examples: they are every file of
# SOURCE/examples), its control fields and dependencies, and that the
# desktop entry and the AppStream metadata it installs pass desktop-file-validate and
# appstreamcli validate.
set -euo pipefail
build=$1 expected=$2 source=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli readelf; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (scripts/packages.txt lists the Debian packages that bring it)"
    exit 77
  fi
done

(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out") >"$tmp/cpack.log" 2>&1 \
  || { cat "$tmp/cpack.log"; fail "cpack -G DEB"; }
debs=("$tmp"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made ${#debs[@]} packages"
deb=${debs[0]}
echo "package: $(basename "$deb")"

# The files, without the folders, as paths below /.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "/", $6); print $6 }' | sort >"$tmp/files.txt"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
{
  sed "s/@MULTIARCH@/$multiarch/" "$expected"
  for example in "$source"/examples/*; do echo "/usr/share/tervik/examples/$(basename "$example")"; done
} | sort >"$tmp/expected.txt"
if ! diff -u "$tmp/expected.txt" "$tmp/files.txt"; then
  fail "the package's files differ from $expected (above: - expected, + packaged)"
fi

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tervik ] || fail "Package: $(field Package)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(field Section)" = devel ] || fail "Section: $(field Section)"
if dpkg-deb -f "$deb" Description | grep -q ';'; then fail "the description is a CMake list"; fi
depends=$(field Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libpcre2-8-0 libqt6core6 libqt6gui6 libqt6widgets6 libqt6pdf6 \
           libqt6pdfwidgets6 libqt6svg6 libqscintilla2-qt6-15; do
  grep -qE "(^|, )${lib//+/\\+}( \(>= [^)]*\))?(,|$)" <<<"$depends" || fail "Depends lacks $lib"
done
# Nothing of the build: no development packages, no tools of the build.
if grep -qE -- '-dev|help2man|cmake|gtest' <<<"$depends"; then fail "Depends names a build package"; fi

# The desktop files as installed by the package.
dpkg-deb -x "$deb" "$tmp/root"
desktop-file-validate "$tmp/root/usr/share/applications/org.tervik.Tervik.desktop" \
  || fail "desktop-file-validate"
appstreamcli validate --no-net "$tmp/root/usr/share/metainfo/org.tervik.Tervik.metainfo.xml" \
  || fail "appstreamcli validate"
# The programs are stripped, and find their modules in the architecture's library folder.
for program in tervik tervik-as tervik-run tervik-rom; do
  if readelf -S "$tmp/root/usr/bin/$program" | grep -q '\.debug_info'; then fail "$program is not stripped"; fi
done
readelf -d "$tmp/root/usr/bin/tervik" | grep -q "RUNPATH.*\$ORIGIN/../lib/$multiarch/tervik" || fail "tervik's RUNPATH"
# No maintainer scripts: the package installs nothing the dynamic linker's cache covers.
if dpkg-deb -I "$deb" | grep -qE ' (postinst|postrm|preinst|prerm)$'; then fail "the package has maintainer scripts"; fi

# Debian's own checker: no error and no warning (information and pedantic notes are shown).
if command -v lintian >/dev/null; then
  lintian --no-tag-display-limit "$deb" >"$tmp/lintian.txt" 2>&1 || true
  cat "$tmp/lintian.txt"
  if grep -qE '^[EW]: ' "$tmp/lintian.txt"; then fail "lintian reports errors or warnings"; fi
else
  echo "note: lintian is missing (scripts/packages.txt lists it): the package is not checked by it"
fi
echo "deb test: 1 passed, 0 failed"
