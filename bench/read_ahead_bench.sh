#!/bin/bash
# quadrell's read-ahead: a dry run over camera photos read from the disk
# (each file's cached pages dropped before every run), by default and with
# -j 1, beside a header walk spread over 1, 4, 16 and 64 threads; the same
# with storage whose every open and read waits 1 ms; and over the photos in
# the page cache. With TRACE (bench/read_ahead_trace.cpp), where the time of
# a cold and a warm run goes; and the peak memory over 100,000 files. Usage: bench/read_ahead_bench.sh QUADRELL
# [PHOTOS [TRACE]]
set -euo pipefail
quadrell=$1
photos=${2:-3000}
trace=${3:-}
here=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d /tmp/quadrell-read-ahead-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

cc -O2 -pthread -o "$scratch/header_floor" "$here/bench/header_floor.c"
cc -O2 -shared -fPIC -o "$scratch/slow_storage.so" "$here/bench/slow_storage.c" -ldl

# One real camera encoding; each copy holds its header and the start of the
# compressed data, the rest a hole of the same length: the layout and the
# size of a camera photo without 4 MB of disk each.
python3 "$here/bench/make_camera_photo.py" "$scratch/photo.jpg"
python3 - "$scratch/photo.jpg" "$scratch/camera" "$photos" <<'PY'
import os, sys
source, folder, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(source, "rb").read()
os.makedirs(folder)
head = data[:data.index(b"\xFF\xDA") + 65536]
for i in range(count):
    with open(os.path.join(folder, "photo-%05d.jpg" % i), "wb") as f:
        f.write(head)
        f.truncate(len(data))
PY

drop_cache() {
  sync
  python3 - "$scratch/camera" <<'PY'
import os, sys
for name in os.listdir(sys.argv[1]):
    fd = os.open(os.path.join(sys.argv[1], name), os.O_RDONLY)
    os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    os.close(fd)
PY
}
timed() {  # command...: seconds
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo "scale=3; ($end - $start) / 1000000000" | bc
}
best_of_3() {  # cold|warm command...: best of three runs
  local mode=$1 best="" t
  shift
  for _ in 1 2 3; do
    [ "$mode" = cold ] && drop_cache
    t=$(timed "$@")
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}
row() { printf '%-36s %9s %10s\n' "$1" "$2" "$3"; }
ratio() { echo "scale=2; $1 / $2" | bc; }

for cache in cold warm; do
  declare -A floor=()
  best_floor=""
  for threads in 1 4 16 64; do
    floor[$threads]=$(best_of_3 "$cache" "$scratch/header_floor" "$scratch/camera" "$threads")
    if [ -z "$best_floor" ] || [ "$(echo "${floor[$threads]} < $best_floor" | bc)" = 1 ]; then
      best_floor=${floor[$threads]}
    fi
  done
  default=$(best_of_3 "$cache" "$quadrell" -n "$scratch/camera")
  one=$(best_of_3 "$cache" "$quadrell" -n -j 1 "$scratch/camera")
  echo
  if [ "$cache" = cold ]; then
    echo "$photos camera photos read from the disk (cached pages dropped before each run; best of 3)"
  else
    echo "$photos camera photos in the page cache (best of 3)"
  fi
  row "run" "seconds" "x best floor"
  for threads in 1 4 16 64; do
    row "header walk, $threads threads" "${floor[$threads]}" "$(ratio "${floor[$threads]}" "$best_floor")"
  done
  row "quadrell -n (default)" "$default" "$(ratio "$default" "$best_floor")"
  row "quadrell -n -j 1" "$one" "$(ratio "$one" "$best_floor")"
done

slow=$((photos / 10))
mkdir "$scratch/slow"
for i in $(seq 0 $((slow - 1))); do
  ln "$(printf '%s/camera/photo-%05d.jpg' "$scratch" "$i")" "$scratch/slow/"
done
slow_run() {
  QUADRELL_SLOW_FOLDER=$scratch/slow LD_PRELOAD=$scratch/slow_storage.so "$quadrell" -n "$@" \
    "$scratch/slow"
}
slow_floor() {
  QUADRELL_SLOW_FOLDER=$scratch/slow LD_PRELOAD=$scratch/slow_storage.so \
    "$scratch/header_floor" "$scratch/slow" "$1"
}
slow_floor16=$(best_of_3 warm slow_floor 16)
slow_floor64=$(best_of_3 warm slow_floor 64)
slow_default=$(best_of_3 warm slow_run)
slow_64=$(best_of_3 warm slow_run -j 64)
slow_one=$(best_of_3 warm slow_run -j 1)
echo
echo "$slow camera photos on storage that waits 1 ms on every open and read (best of 3)"
row "run" "seconds" "x 64 walk"
row "header walk, 16 threads" "$slow_floor16" "$(ratio "$slow_floor16" "$slow_floor64")"
row "header walk, 64 threads (the floor)" "$slow_floor64" "1.00"
row "quadrell -n (default; goal <= 1.2)" "$slow_default" "$(ratio "$slow_default" "$slow_floor64")"
row "quadrell -n -j 64" "$slow_64" "$(ratio "$slow_64" "$slow_floor64")"
row "quadrell -n -j 1" "$slow_one" "$(ratio "$slow_one" "$slow_floor64")"

# Three layouts side by side, as a real library mixes them: the camera
# photo (an open and 2 reads of 2 KiB), a photo whose Exif, ICC and
# Photoshop segments need 4 reads, and one whose 26 APP1 segments of 64 KiB
# (and 4 small ones) need 27. Sparse: the payloads are holes.
mixed=$((photos / 5))
python3 - "$scratch/photo.jpg" "$scratch/mixed" "$mixed" "$scratch/segmented" "$photos" <<'PY'
import os, struct, sys
source, folder, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
segmented, segmented_count = sys.argv[4], int(sys.argv[5])
data = open(source, "rb").read()
camera = data[:data.index(b"\xFF\xDA") + 65536]
tables = camera[camera.index(b"\xFF\xDB"):]
def segment(code, length):  # header only; the payload stays a hole
    return b"\xFF" + bytes([code]) + struct.pack(">H", length)
def layout(segments):  # (code, length) after SOI, then the tables and data
    parts, at = [], 2
    for code, length in segments:
        parts.append((at, segment(code, length)))
        at += 2 + length
    return parts, at
layouts = [
    None,
    layout([(0xE1, 9000), (0xE2, 5000), (0xED, 7000)]),
    layout([(0xE1, 65533)] * 26 + [(0xE1, 100)] * 4),
]
def write_layout(f, parts, at):
    f.write(b"\xFF\xD8")
    for offset, header in parts:
        f.seek(offset)
        f.write(header)
    f.seek(at)
    f.write(tables)
os.makedirs(folder)
for i in range(count):
    kind = i % 3
    with open(os.path.join(folder, "photo-%05d.jpg" % i), "wb") as f:
        if kind == 0:
            f.write(camera)
            f.truncate(len(data))
            continue
        write_layout(f, *layouts[kind])
os.makedirs(segmented)
for i in range(segmented_count):
    with open(os.path.join(segmented, "photo-%05d.jpg" % i), "wb") as f:
        write_layout(f, *layouts[2])
PY
# The photo of many segments alone, all in the page cache: no read waits,
# so no thread may start that only costs.
"$quadrell" -n "$scratch/segmented" >/dev/null 2>&1
segmented_floor=$(best_of_3 warm "$scratch/header_floor" "$scratch/segmented" 1)
segmented_default=$(best_of_3 warm "$quadrell" -n "$scratch/segmented")
segmented_one=$(best_of_3 warm "$quadrell" -n -j 1 "$scratch/segmented")
echo
echo "$photos photos of 30 APP1 segments (27 reads each) in the page cache (best of 3)"
row "run" "seconds" "x -j 1"
row "header walk, 1 thread" "$segmented_floor" "$(ratio "$segmented_floor" "$segmented_one")"
row "quadrell -n -j 1" "$segmented_one" "1.00"
row "quadrell -n (default; goal <= 1.05)" "$segmented_default" "$(ratio "$segmented_default" "$segmented_one")"

mixed_run() {
  QUADRELL_SLOW_FOLDER=$scratch/mixed LD_PRELOAD=$scratch/slow_storage.so "$quadrell" -n "$@" \
    "$scratch/mixed"
}
mixed_floor() {
  QUADRELL_SLOW_FOLDER=$scratch/mixed LD_PRELOAD=$scratch/slow_storage.so \
    "$scratch/header_floor" "$scratch/mixed" "$1"
}
for varies in "" 1; do
  export QUADRELL_SLOW_VARIES=$varies
  [ -n "$varies" ] || unset QUADRELL_SLOW_VARIES
  mixed_floor16=$(best_of_3 warm mixed_floor 16)
  mixed_floor64=$(best_of_3 warm mixed_floor 64)
  mixed_default=$(best_of_3 warm mixed_run)
  mixed_64=$(best_of_3 warm mixed_run -j 64)
  echo
  if [ -n "$varies" ]; then
    echo "The same, each wait drawn from 0 to 2 ms (best of 3)"
  else
    echo "$mixed photos of three layouts (2, 4 and 27 reads) on storage that waits 1 ms (best of 3)"
  fi
  row "run" "seconds" "x 64 walk"
  row "header walk, 16 threads" "$mixed_floor16" "$(ratio "$mixed_floor16" "$mixed_floor64")"
  row "header walk, 64 threads (the floor)" "$mixed_floor64" "1.00"
  row "quadrell -n (default; goal <= 1.2)" "$mixed_default" "$(ratio "$mixed_default" "$mixed_floor64")"
  row "quadrell -n -j 64" "$mixed_64" "$(ratio "$mixed_64" "$mixed_floor64")"
done
unset QUADRELL_SLOW_VARIES

# Peak memory over 100,000 files (links to the photos) in the page cache,
# and over the slow photos, where every worker is started.
mkdir "$scratch/many"
python3 - "$scratch/camera" "$scratch/many" "$photos" <<'PY'
import os, sys
camera, many, photos = sys.argv[1], sys.argv[2], int(sys.argv[3])
for i in range(100000):
    os.link(os.path.join(camera, "photo-%05d.jpg" % (i % photos)), os.path.join(many, "%06d.jpg" % i))
PY
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
echo
echo "Peak memory (KiB, /usr/bin/time -f %M)"
row "quadrell -n, 100,000 files cached" "$(peak "$quadrell" -n "$scratch/many")" ""
row "quadrell -n -j 1, the same" "$(peak "$quadrell" -n -j 1 "$scratch/many")" ""
row "quadrell -n, $slow slow photos" "$(peak env QUADRELL_SLOW_FOLDER="$scratch/slow" \
  LD_PRELOAD="$scratch/slow_storage.so" "$quadrell" -n "$scratch/slow")" ""

if [ -n "$trace" ]; then
  echo
  echo "Where the time goes, from the disk ($trace 16, cached pages dropped)"
  drop_cache
  "$trace" 16 "$scratch/camera" >/dev/null
  echo
  echo "Where the time goes, in the page cache"
  "$trace" 16 "$scratch/camera" >/dev/null
  echo
  echo "Where the time goes, the three layouts on slow storage ($trace 16)"
  QUADRELL_SLOW_FOLDER=$scratch/mixed LD_PRELOAD=$scratch/slow_storage.so \
    "$trace" 16 "$scratch/mixed" >/dev/null
fi
