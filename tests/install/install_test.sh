#!/usr/bin/env bash
# install_test.sh BUILD SOURCE VERSION: installs the build into a temporary prefix and uses the
# installed programs from another folder, with a fresh home: the window (offscreen) finds its
# modules and its manual, starts in the workspace it creates from the examples, and takes the
# command line; the tools run the installed examples; a module builds against the installed
# interface with pkg-config and with CMake, and runs.
set -euo pipefail
build=$1 source=$2 version=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "cmake --install"; }
# The module folder: the architecture's library folder where the system has one (Debian).
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || true)
moddir=lib/${multiarch:+$multiarch/}tervik

# What a user expects to find.
for f in bin/tervik bin/tervik-as bin/tervik-run bin/tervik-rom \
         $moddir/libtervik_terminal.so $moddir/libtervik_timer.so $moddir/libtervik_gpio.so \
         $moddir/libtervik_sevenseg.so $moddir/libtervik_display.so \
         include/tervik/tervik_plugin.h lib/${multiarch:+$multiarch/}pkgconfig/tervik-plugin.pc \
         lib/cmake/TervikPlugin/TervikPluginConfig.cmake \
         share/doc/tervik/Manual.pdf share/doc/tervik/README.md \
         share/man/man1/tervik.1.gz share/man/man1/tervik-as.1.gz share/man/man1/tervik-run.1.gz \
         share/man/man1/tervik-rom.1.gz share/man/man5/tervik-map.5.gz \
         share/man/man5/tervik-lst.5.gz share/man/man5/tervik-sym.5.gz \
         share/man/man5/tervik-session.5.gz \
         share/doc/tervik/copyright share/doc/tervik/changelog.gz share/doc-base/tervik \
         share/doc/tervik/sdk/counter.c share/mime/packages/org.tervik.Tervik.xml \
         share/applications/org.tervik.Tervik.desktop \
         share/metainfo/org.tervik.Tervik.metainfo.xml \
         share/icons/hicolor/scalable/apps/tervik.svg share/icons/hicolor/48x48/apps/tervik.png \
         share/tervik/examples/default.map; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
for example in "$source"/examples/*; do
  [ -f "$prefix/share/tervik/examples/$(basename "$example")" ] || fail "example $(basename "$example") is not installed"
done
for asm in "$prefix"/share/tervik/examples/*.asm; do
  [ -f "${asm%.asm}.lst" ] || fail "$(basename "$asm") has no listing beside it"
done

# Everything below runs in a folder of its own, with a home of its own.
work=$tmp/elsewhere
mkdir -p "$work" "$tmp/home"
cd "$work"
mkdir -m 700 "$tmp/runtime"
export HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/runtime QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='qt.qpa.*=false'
unset XDG_CONFIG_HOME XDG_DATA_HOME

# The command line answers without a display.
[ "$(env -u QT_QPA_PLATFORM DISPLAY= WAYLAND_DISPLAY= "$prefix/bin/tervik" --version)" = "tervik $version" ] \
  || fail "tervik --version"
env -u QT_QPA_PLATFORM DISPLAY= WAYLAND_DISPLAY= "$prefix/bin/tervik" --help | grep -q -- '--map <FILE>' \
  || fail "tervik --help"
if "$prefix/bin/tervik" notes.txt 2>"$tmp/err"; then fail "tervik notes.txt started"; fi
grep -q "is none of a listing (.lst), a memory map (.map)" "$tmp/err" || fail "no message for notes.txt"
zcat "$prefix/share/man/man1/tervik-run.1.gz" | grep -qF -- '\-\-map' || fail "tervik-run's man page lacks --map"

# Started from a terminal in a folder without default.map: the console's error line.
"$prefix/bin/tervik" --self-test >"$tmp/terminal.out" 2>>"$tmp/window.err" || { cat "$tmp/terminal.out"; fail "self-test in an empty folder"; }
grep -qx "console: Error opening file 'default.map'" "$tmp/terminal.out" || { cat "$tmp/terminal.out"; fail "no error line for default.map"; }
grep -qx "manual: $prefix/bin/../share/doc/tervik/Manual.pdf (found)\|manual: $prefix/share/doc/tervik/Manual.pdf (found)" "$tmp/terminal.out" \
  || { cat "$tmp/terminal.out"; fail "the installed manual is not found"; }
[ ! -e "$HOME/Tervik" ] || fail "a terminal start made the workspace"

# With the installed map and a listing: the bundled modules are found through the RUNPATH.
examples=$prefix/share/tervik/examples
"$prefix/bin/tervik" --self-test --map "$examples/default.map" "$examples/hello.lst" >"$tmp/map.out" 2>>"$tmp/window.err" \
  || { cat "$tmp/map.out"; fail "self-test with the installed map"; }
for module in terminal timer gpio sevenseg display; do
  grep -qx "console: Adding DLL 'libtervik_$module.so'" "$tmp/map.out" || fail "no module $module"
done
[ "$(grep -c '^console: 0000[0-9A-F]* 0000000[0-9A-F] DLL  .' "$tmp/map.out")" -ge 3 ] \
  || { cat "$tmp/map.out"; fail "the modules are not in the region table"; }
if grep -q "Failed to load\|No word loaded" "$tmp/map.out"; then cat "$tmp/map.out"; fail "a module or the listing failed"; fi
grep -qx "working folder: $examples" "$tmp/map.out" || { cat "$tmp/map.out"; fail "the listing's folder is not the working folder"; }

# Started from the desktop entry (its Exec line): the workspace ~/Tervik, made from the examples.
exec_line=$(sed -n 's/^Exec=//p' "$prefix/share/applications/org.tervik.Tervik.desktop")
[ "$exec_line" = "tervik --workspace %f" ] || fail "the desktop entry runs '$exec_line'"
"$prefix/bin/tervik" --workspace --self-test >"$tmp/desktop.out" 2>>"$tmp/window.err" || { cat "$tmp/desktop.out"; fail "self-test from the desktop entry"; }
for example in "$examples"/*; do
  cmp -s "$example" "$HOME/Tervik/$(basename "$example")" || fail "$(basename "$example") is not in the workspace"
done
grep -qx "working folder: $HOME/Tervik" "$tmp/desktop.out" || { cat "$tmp/desktop.out"; fail "not started in the workspace"; }
grep -q "^console: Copied .*default.map.* into the workspace $HOME/Tervik$" "$tmp/desktop.out" || { cat "$tmp/desktop.out"; fail "no note of the copy"; }
grep -qx "console: Loading memory map from default.map..." "$tmp/desktop.out" || fail "default.map not loaded in the workspace"
[ "$(grep -c '^console: 0000[0-9A-F]* 0000000[0-9A-F] DLL  .' "$tmp/desktop.out")" -ge 3 ] \
  || { cat "$tmp/desktop.out"; fail "the workspace's map lacks the modules"; }
# The first start shows the demo, from its source, with what to press.
grep -qx "console: hello.asm is loaded: F9 runs it, F7 steps one instruction, Ctrl+F2 starts it over" \
  "$tmp/desktop.out" || { cat "$tmp/desktop.out"; fail "the first start does not open the demo"; }
grep -q "^console: Loaded [0-9]* symbols from hello.sym$" "$tmp/desktop.out" \
  || { cat "$tmp/desktop.out"; fail "the demo's labels are not loaded"; }
# A second start keeps the user's files.
echo "; mine" >"$HOME/Tervik/hello.asm"
"$prefix/bin/tervik" --workspace --self-test >"$tmp/again.out" 2>>"$tmp/window.err"
[ "$(cat "$HOME/Tervik/hello.asm")" = "; mine" ] || fail "the second start overwrote a file"
if grep -q "^console: Copied" "$tmp/again.out"; then fail "the second start copied again"; fi
if grep -q "is loaded: F9" "$tmp/again.out"; then fail "the second start opened the demo again"; fi

# The tools: the assembler makes the installed listing; the runner runs it with the modules.
"$prefix/bin/tervik-as" "$examples/counter.asm" -o "$work/counter.lst"
cmp "$work/counter.lst" "$examples/counter.lst" || fail "tervik-as does not make the installed listing"
"$prefix/bin/tervik-run" --map "$examples/default.map" --lst "$examples/hello.lst" --steps 100000 \
  >"$tmp/run.out" 2>"$tmp/run.err" || { cat "$tmp/run.err"; fail "tervik-run on hello"; }
if grep -q "Failed to load" "$tmp/run.err"; then cat "$tmp/run.err"; fail "tervik-run does not find the modules"; fi

# A module of one's own, built against the installed interface with pkg-config, runs.
export PKG_CONFIG_PATH=$prefix/lib/${multiarch:+$multiarch/}pkgconfig
[ "$(pkg-config --cflags tervik-plugin | xargs)" = "-I$prefix/include/tervik" ] || fail "pkg-config --cflags: $(pkg-config --cflags tervik-plugin)"
[ "$(pkg-config --variable=plugindir tervik-plugin)" = "$prefix/$moddir" ] || fail "pkg-config plugindir"
cp "$source/plugins/gpio/gpio.c" "$work/mygpio.c"
cc -std=c11 -Wall -Werror -shared -fPIC $(pkg-config --cflags tervik-plugin) -o "$work/libmy_gpio.so" "$work/mygpio.c"
printf '0x0000 0x1000 ROM\n0x1000 0x1000 RAM\n0x7000 0x4 DLL libtervik_terminal.so\n0x7010 0x6 DLL libtervik_timer.so 100\n0x7020 0x5 DLL libmy_gpio.so 0x0F\n' >"$work/my.map"
"$prefix/bin/tervik-run" --map "$work/my.map" --lst "$examples/blinker.lst" --steps 20000 \
  >"$tmp/my.out" 2>"$tmp/my.err" || [ $? -eq 2 ] || { cat "$tmp/my.err"; fail "tervik-run with a module of one's own"; }
if grep -q "Failed to load" "$tmp/my.err"; then cat "$tmp/my.err"; fail "the module of one's own does not load"; fi

# And with CMake's find_package(TervikPlugin).
mkdir -p "$work/cmake-module"
cp "$work/mygpio.c" "$work/cmake-module/mygpio.c"
cat >"$work/cmake-module/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(MyModule C)
find_package(TervikPlugin 1 REQUIRED)
add_library(my_gpio MODULE mygpio.c)
target_link_libraries(my_gpio PRIVATE Tervik::plugin)
CMAKE
cmake -S "$work/cmake-module" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$tmp/cmake.log" 2>&1 \
  && cmake --build "$work/cmake-build" >>"$tmp/cmake.log" 2>&1 || { cat "$tmp/cmake.log"; fail "find_package(TervikPlugin)"; }
# The man pages name each other and the files the programs use.
for page in tervik tervik-as tervik-run tervik-rom; do
  text=$(MANWIDTH=200 man -l "$prefix/share/man/man1/$page.1.gz" 2>/dev/null)
  grep -q "SEE ALSO" <<<"$text" || fail "$page(1) has no SEE ALSO"
  grep -q "FILES" <<<"$text" || fail "$page(1) has no FILES"
done
MANWIDTH=200 man -l "$prefix/share/man/man1/tervik.1.gz" 2>/dev/null | grep -q "tervik.conf" \
  || fail "tervik(1) does not name the settings file"

# The file types: after update-mime-database, the desktop's MIME lookup (Qt's, as file managers
# do theirs) knows each extension by the installed types, and the desktop entry opens them.
if command -v update-mime-database >/dev/null; then
  mkdir -p "$tmp/mime-data"
  cp -r "$prefix/share/mime" "$tmp/mime-data/"
  update-mime-database "$tmp/mime-data/mime" || fail "update-mime-database"
  for row in "prog.asm text/x-tervik-asm" "prog.lst text/x-tervik-listing" \
             "default.map text/x-tervik-map" "prog.sym text/x-tervik-symbols"; do
    set -- $row
    got=$(XDG_DATA_DIRS="$tmp/mime-data:/usr/share" QT_QPA_PLATFORM=offscreen \
          "$build/bin/tervik_mimetype" "$1")
    [ "$got" = "$2" ] || fail "$1 is known as '$got', not $2"
    if [ "$2" != text/x-tervik-symbols ]; then
      grep -q "^MimeType=.*$2;" "$prefix/share/applications/org.tervik.Tervik.desktop" \
        || fail "the desktop entry does not open $2"
    fi
  done
else
  echo "note: update-mime-database is missing (shared-mime-info): the file types are not looked up"
fi
echo "install test: 1 passed, 0 failed"
