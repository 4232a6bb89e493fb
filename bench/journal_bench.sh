#!/bin/bash
# The journal's cost: quadrell -p over small JFIF files that all need the
# patch, without and with --journal (and the syncs it made, by strace), the
# --undo of that journal, and the peak memory of both runs over a folder ten
# times larger. Best of 3, each on a fresh copy of the folder, in the page
# cache; and the peak memory of an undo of 100,000 and of 1,000,000 records.
# Usage: bench/journal_bench.sh QUADRELL [FILES]
set -euo pipefail
quadrell=$1
files=${2:-10000}
scratch=$(mktemp -d /tmp/quadrell-journal-bench-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

make_folder() {  # folder count
  python3 - "$1" "$2" <<'PY'
import os, struct, sys
folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder)
body = b"\xFF\xDB\x00\x43\x00" + bytes(64) + bytes(range(256)) * 4 + b"\xFF\xD9"
app0 = b"\xFF\xE0\x00\x10JFIF\x00\x01\x01\x01" + struct.pack(">HH", 72, 96) + b"\x00\x00"
for i in range(count):
    with open(os.path.join(folder, "photo-%06d.jpg" % i), "wb") as f:
        f.write(b"\xFF\xD8" + app0 + body)
PY
}
fresh() {  # a fresh copy of the folder to work on, and no journal
  rm -rf "$scratch/work" "$scratch/journal.txt"
  cp -r "$scratch/master" "$scratch/work"
  sync
}
timed() {  # command...: seconds
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo "scale=3; ($end - $start) / 1000000000" | bc
}
best() {  # prepare command...: best of three, each after prepare
  local prepare=$1 best="" t
  shift
  for _ in 1 2 3; do
    $prepare
    t=$(timed "$@")
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}
journaled() { fresh; "$quadrell" -p --journal "$scratch/journal.txt" "$scratch/work" >/dev/null; }
ratio() { echo "scale=2; $1 / $2" | bc; }
row() { printf '%-40s %9s %10s\n' "$1" "$2" "$3"; }

make_folder "$scratch/master" "$files"
plain=$(best fresh "$quadrell" -p "$scratch/work")
journal=$(best fresh "$quadrell" -p --journal "$scratch/journal.txt" "$scratch/work")
undo=$(best journaled "$quadrell" --undo "$scratch/journal.txt")
syncs="(strace missing)"
if command -v strace >/dev/null; then
  fresh
  strace -f -qq -c -e trace=fdatasync -o "$scratch/strace" \
    "$quadrell" -p --journal "$scratch/journal.txt" "$scratch/work" >/dev/null
  syncs=$(awk '$NF == "fdatasync" { print $4 }' "$scratch/strace")
fi
echo
echo "$files small JFIF files that all need the patch, in the page cache (best of 3)"
row "run" "seconds" "x -p"
row "quadrell -p" "$plain" "1.00"
row "quadrell -p --journal (goal <= 1.3)" "$journal" "$(ratio "$journal" "$plain")"
row "quadrell --undo of it (goal <= 1.5)" "$undo" "$(ratio "$undo" "$plain")"
echo "the journaled run made $syncs syncs for $files changes; its journal: $(wc -c <"$scratch/journal.txt") bytes"

large=$((files * 10))
rm -rf "$scratch/master"
make_folder "$scratch/master" "$large"
peak() {  # command...: peak memory in KiB
  fresh
  /usr/bin/time -f %M -o "$scratch/peak" "$@" >/dev/null 2>&1 || true
  tail -n 1 "$scratch/peak"
}
plain_peak=$(peak "$quadrell" -p "$scratch/work")
journal_peak=$(peak "$quadrell" -p --journal "$scratch/journal.txt" "$scratch/work")
echo "$large files: peak memory of -p $plain_peak KiB, with --journal $journal_peak KiB," \
  "$((journal_peak - plain_peak)) KiB more (goal: within 2 MiB)"

# The undo holds some 40 bytes a change, not the journal's text: ten times
# the records (the same changes again, as ten runs would leave them), read
# by a dry undo, beside one time.
cp "$scratch/journal.txt" "$scratch/journal-1.txt"
/usr/bin/time -f %M -o "$scratch/peak" "$quadrell" -n -q --undo "$scratch/journal-1.txt" \
  >/dev/null 2>&1 || true
undo_peak=$(tail -n 1 "$scratch/peak")
{ cat "$scratch/journal-1.txt"; for _ in 2 3 4 5 6 7 8 9 10; do
    grep '^change ' "$scratch/journal-1.txt"; done; } >"$scratch/journal-10.txt"
/usr/bin/time -f %M -o "$scratch/peak" "$quadrell" -n -q --undo "$scratch/journal-10.txt" \
  >/dev/null 2>&1 || true
undo_peak_10=$(tail -n 1 "$scratch/peak")
echo "peak memory of a dry --undo: $undo_peak KiB for $large changes" \
  "($(wc -c <"$scratch/journal-1.txt") bytes of journal)," \
  "$undo_peak_10 KiB for $((large * 10)) ($(wc -c <"$scratch/journal-10.txt") bytes)"
