#!/usr/bin/env bash
# manual_reproducible.sh SHOTS AS RUN PYTHON SOURCE INCLUDE CHAPTER...: does the tutorial and
# typesets the manual twice, in two folders of different names and depths, with the same
# SOURCE_DATE_EPOCH, and checks that the two PDFs are the same bytes (no build path, date or
# other trace of the build in them).
set -euo pipefail
shots=$1 as=$2 run=$3 python=$4 source=$5 include=$6
shift 6
tmp=$(mktemp -d)
trap '[ -n "${KEEP_TMP:-}" ] || rm -rf "$tmp"' EXIT
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 SOURCE_DATE_EPOCH=1796860800
for dir in "$tmp/one" "$tmp/second/build/elsewhere"; do
  mkdir -p "$dir"
  "$shots" "$dir/shots" "$source/docs/manual/tutorial" "$source/docs/manual/07-tutorial.md" \
    "$as" "$run" "$dir/work" || { echo "FAIL: the tutorial in $dir"; exit 1; }
  "$python" "$source/tools/manualpdf/manualpdf.py" -o "$dir/Manual.pdf" --images "$dir/shots" \
    --include-dir "$include" --title "Tervik Microcontroller Manual" "$@" \
    || { echo "FAIL: typesetting in $dir"; exit 1; }
done
if ! cmp "$tmp/one/Manual.pdf" "$tmp/second/build/elsewhere/Manual.pdf"; then
  for dir in "$tmp/one" "$tmp/second/build/elsewhere"; do
    (cd "$dir/shots" && md5sum ./*.png)
  done
  echo "FAIL: two builds in different folders give different manuals"
  exit 1
fi
grep -qaE "CreationDate \((D:)?20261210" "$tmp/one/Manual.pdf" || { echo "FAIL: the date is not SOURCE_DATE_EPOCH's"; exit 1; }
echo "manual reproducible: 1 passed, 0 failed"
