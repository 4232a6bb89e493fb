#!/bin/bash
# End to end, checked by readers that share no code with Quadrell: after
# quadrell has run over a copy of samples/, ExifTool reads equal densities
# (the larger of the two before), libjpeg-turbo decodes the same pixels as
# before, and cmp finds exactly two changed bytes in each changed file.
# Also checks that samples/ is what tools/make-samples.py writes.
set -euo pipefail
quadrell=$1
here=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d /tmp/quadrell-readers-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

python3 "$here/tools/make-samples.py" "$scratch/generated"
diff -r "$here/samples" "$scratch/generated" || fail "samples/ differs from tools/make-samples.py"

mkdir "$scratch/before" "$scratch/after"
cp "$here"/samples/* "$scratch/before/"
cp "$here"/samples/* "$scratch/after/"
"$quadrell" "$scratch/after" >"$scratch/log" || fail "quadrell exited with $?"

for before in "$scratch"/before/*.jpg; do
  name=$(basename "$before")
  after="$scratch/after/$name"
  [ "$(stat -c %s "$before")" = "$(stat -c %s "$after")" ] || fail "$name: length changed"
  changed=$(cmp -l "$before" "$after" | wc -l || true)
  densities=$(exiftool -s -s -s -XResolution -YResolution "$before" | tr '\n' ' ')
  read -r x y <<<"$densities" || true
  if [ -n "${x:-}" ] && [ "$x" != "$y" ]; then
    larger=$(( x > y ? x : y ))
    [ "$changed" -ge 1 ] && [ "$changed" -le 2 ] || fail "$name: $changed bytes changed"
    read -r x2 y2 <<<"$(exiftool -s -s -s -XResolution -YResolution "$after" | tr '\n' ' ')"
    [ "$x2" = "$larger" ] && [ "$y2" = "$larger" ] || fail "$name: densities $x2 $y2, want $larger"
  else
    [ "$changed" -eq 0 ] || fail "$name: changed although its densities were equal or absent"
  fi
  if djpeg -pnm "$before" >"$scratch/before.pnm" 2>/dev/null; then
    djpeg -pnm "$after" >"$scratch/after.pnm" || fail "$name: no longer decodes"
    cmp -s "$scratch/before.pnm" "$scratch/after.pnm" || fail "$name: pixels changed"
  fi
done
grep -q "update: 3  error: 0" "$scratch/log" || fail "unexpected summary: $(tail -1 "$scratch/log")"
[ "$failures" -eq 0 ] && echo "independent readers agree"
exit "$failures"
