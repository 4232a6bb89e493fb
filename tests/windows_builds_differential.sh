#!/bin/sh
# The console programs of the 32-bit and the 64-bit build on the same tree:
# Unicode names, folders, -r, -n, -p, a non-JPEG named .jpg and a missing
# PATH. Both must print the same lines, end with the same status and leave
# the same bytes and time stamps. A fault of the 32-bit build alone (a
# structure's size, a squeezed handle or offset) shows as a difference.
# Usage: windows_builds_differential.sh BUILD32 BUILD64
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d /tmp/quadrell-builds-XXXXXX)
trap 'rm -rf "$scratch"; wineserver -k 2>/dev/null || true' EXIT
"$here/tools/wine-prefix"
. "$here/tools/wine-env"
# Started apart, or Wine's helpers would keep this script's pipes open.
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1

tree=$scratch/tree
mkdir -p "$tree/sub/deep"
cp "$here/samples/unequal-x-smaller.jpg" "$tree/日本語の写真.jpg"
cp "$here/samples/unequal-y-smaller.jpg" "$tree/Ärger 😀.JPEG"
cp "$here/samples/equal.jpg" "$here/samples/not-a-jpeg.jpg" "$tree/"
cp "$here/samples/macbinary.jpg" "$tree/sub/deep/"
cp "$here/samples/unequal-x-smaller.jpg" "$tree/sub/한글.jpg"
cp "$here/samples/camera-exif-only.jpg" "$tree/sub/"
find "$tree" -exec touch -h -d '2003-04-05 06:07:08.123456789' {} +

run_build() {
  build=$1 out=$scratch/$2
  mkdir -p "$out"
  cp -a "$tree" "$out/tree"
  step=0
  for args in "-n -r tree" "-p tree missing.jpg tree/not-a-jpeg.jpg" "-p -r tree"; do
    step=$((step + 1))
    # shellcheck disable=SC2086 # each line is a list of arguments
    (cd "$out" && wine "$build/cli/quadrell.exe" $args </dev/null >"stdout-$step" 2>"stderr-$step") &&
      status=0 || status=$?
    echo "$status" >"$out/status-$step"
  done
  (cd "$out/tree" && find . -type f -printf '%P %TY-%Tm-%Td %TT\n' | sort) >"$out/stamps"
  (cd "$out/tree" && find . -type f -exec sha256sum {} + | sort -k 2) >"$out/bytes"
  rm -rf "$out/tree"
}

run_build "$(cd "$1" && pwd)" 32
run_build "$(cd "$2" && pwd)" 64
fail() {
  echo "windows builds differential: $*"
  exit 1
}
diff -r "$scratch/32" "$scratch/64" || fail "the 32-bit and 64-bit console programs differ (< 32-bit, > 64-bit)"
grep -q ' Change' "$scratch/32/stdout-2" || fail "the run that changes files changed none"
grep -v ' 2003-04-05 06:07:08.1234567' "$scratch/32/stamps" && fail "time stamps moved (above)"
echo "windows builds differential: the 32-bit and 64-bit console programs agree"
