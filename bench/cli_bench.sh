#!/bin/bash
# quadrell over a folder of small JFIF files, half of them needing the
# patch, with and without --keep-dates and with --json, beside a floor
# (bench/floor.c) and beside ExifTool doing the same job. Then a dry run
# over a folder of camera
# photos (several MB each, Exif and no JFIF header) beside the floor of
# reading 4 KiB a file and beside ExifTool reading the same folder, with the
# bytes quadrell reads per photo. Last, the peak memory of a run over a
# folder ten times larger. Usage: bench/cli_bench.sh QUADRELL [FILES [PHOTOS]]
set -euo pipefail
quadrell=$1
files=${2:-10000}
photos=${3:-300}
here=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d /tmp/quadrell-bench-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

cc -O2 -o "$scratch/floor" "$here/bench/floor.c"
make_folder() {  # folder count
  python3 - "$1" "$2" <<'PY'
import os, struct, sys
folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder)
body = b"\xFF\xDB\x00\x43\x00" + bytes(64) + bytes(range(256)) * 4 + b"\xFF\xD9"
for i in range(count):
    y = 96 if i % 2 else 72  # every other file needs the patch
    app0 = b"\xFF\xE0\x00\x10JFIF\x00\x01\x01\x01" + struct.pack(">HH", 72, y) + b"\x00\x00"
    with open(os.path.join(folder, "photo-%06d.jpg" % i), "wb") as f:
        f.write(b"\xFF\xD8" + app0 + body)
PY
}

make_folder "$scratch/master" "$files"
seconds() {  # command...: runs it on a fresh copy of the folder, prints seconds
  rm -rf "$scratch/work"
  cp -r "$scratch/master" "$scratch/work"
  sync
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo "scale=3; ($end - $start) / 1000000000" | bc
}
best_of() {  # runs: best of three
  local best="" t
  for _ in 1 2 3; do
    t=$(seconds "$@")
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

floor=$(best_of "$scratch/floor" "$scratch/work")
dates_floor=$(best_of "$scratch/floor" "$scratch/work" dates)
plain=$(best_of "$quadrell" "$scratch/work")
keep=$(best_of "$quadrell" --keep-dates "$scratch/work")
# The status line forced: what its clock costs each file (it draws after a second).
progress=$(best_of "$quadrell" --progress "$scratch/work")
# JSON Lines in place of the log: its objects against the log's lines.
json=$(best_of "$quadrell" --json "$scratch/work")
exiftool_run() {
  exiftool -q -q -P -overwrite_original -if '$XResolution < $YResolution' \
    '-XResolution<YResolution' "$scratch/work"
  exiftool -q -q -P -overwrite_original -if '$YResolution < $XResolution' \
    '-YResolution<XResolution' "$scratch/work"
}
exif=""
if command -v exiftool >/dev/null; then exif=$(seconds exiftool_run); fi

per_file() { echo "scale=2; $1 * 1000000 / $files" | bc; }
ratio() { echo "scale=2; $1 / $2" | bc; }
echo
echo "$files small JFIF files, half needing the patch (best of 3; ExifTool once)"
printf '%-28s %10s %12s %10s\n' "run" "seconds" "us per file" "x floor"
printf '%-28s %10s %12s %10s\n' "floor (open/read/open/pwrite)" "$floor" "$(per_file "$floor")" "1.00"
printf '%-28s %10s %12s %10s\n' "quadrell" "$plain" "$(per_file "$plain")" "$(ratio "$plain" "$floor")"
printf '%-28s %10s %12s %10s\n' "floor keeping dates" "$dates_floor" "$(per_file "$dates_floor")" "$(ratio "$dates_floor" "$floor")"
printf '%-28s %10s %12s %10s\n' "quadrell --keep-dates" "$keep" "$(per_file "$keep")" "$(ratio "$keep" "$floor")"
echo "quadrell --keep-dates is $(ratio "$keep" "$dates_floor") times the floor keeping dates"
printf '%-28s %10s %12s %10s\n' "quadrell --progress" "$progress" "$(per_file "$progress")" "$(ratio "$progress" "$floor")"
printf '%-28s %10s %12s %10s\n' "quadrell --json" "$json" "$(per_file "$json")" "$(ratio "$json" "$floor")"
echo "quadrell --json is $(ratio "$json" "$plain") times the plain run"
if [ -n "$exif" ]; then
  printf '%-28s %10s %12s %10s\n' "ExifTool (two -if passes)" "$exif" "$(per_file "$exif")" "$(ratio "$exif" "$floor")"
  echo "quadrell is $(ratio "$exif" "$plain") times faster than ExifTool"
fi

# Camera photos: one real encoding under many names. Nothing is written, so
# every run reads the same folder.
mkdir "$scratch/camera"
python3 "$here/bench/make_camera_photo.py" "$scratch/camera/photo-0000.jpg"
for i in $(seq 1 $((photos - 1))); do
  cp "$scratch/camera/photo-0000.jpg" "$(printf '%s/camera/photo-%04d.jpg' "$scratch" "$i")"
done
photo_mb=$(( $(stat -c %s "$scratch/camera/photo-0000.jpg") / 1024 / 1024 ))
in_place() {  # command...: seconds, best of five, on the folder as it is
  local best="" t start end
  for _ in 1 2 3 4 5; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    t=$(echo "scale=4; ($end - $start) / 1000000000" | bc)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}
camera_floor=$(in_place "$scratch/floor" "$scratch/camera" read)
camera_dry=$(in_place "$quadrell" --dry-run "$scratch/camera")
camera_progress=$(in_place "$quadrell" --dry-run --progress "$scratch/camera")
camera_exif=""
if command -v exiftool >/dev/null; then
  camera_exif=$(in_place exiftool -q -q -XResolution -YResolution "$scratch/camera")
fi
# Bytes read, from the kernel's count for the process, read before it is
# reaped: /proc/PID/io holds it until then.
rchar=$(python3 -c '
import os, subprocess, sys
child = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)
with open("/proc/%d/io" % child.pid) as io:
    print(next(int(line.split()[1]) for line in io if line.startswith("rchar:")))
child.wait()' "$quadrell" --dry-run "$scratch/camera")
echo
echo "$photos camera photos of $photo_mb MiB, Exif without a JFIF header: dry run (best of 5)"
printf '%-28s %10s %12s %10s
' "run" "seconds" "us per file" "x floor"
printf '%-28s %10s %12s %10s
' "floor (open/read 4 KiB)" "$camera_floor" "$(echo "scale=2; $camera_floor * 1000000 / $photos" | bc)" "1.00"
printf '%-28s %10s %12s %10s
' "quadrell --dry-run" "$camera_dry" "$(echo "scale=2; $camera_dry * 1000000 / $photos" | bc)" "$(ratio "$camera_dry" "$camera_floor")"
printf '%-28s %10s %12s %10s
' "quadrell --dry-run --progress" "$camera_progress" "$(echo "scale=2; $camera_progress * 1000000 / $photos" | bc)" "$(ratio "$camera_progress" "$camera_floor")"
if [ -n "$camera_exif" ]; then
  printf '%-28s %10s %12s %10s
' "ExifTool (read the two tags)" "$camera_exif" "$(echo "scale=2; $camera_exif * 1000000 / $photos" | bc)" "$(ratio "$camera_exif" "$camera_floor")"
  echo "quadrell is $(ratio "$camera_exif" "$camera_dry") times faster than ExifTool"
fi
echo "quadrell read $((rchar / photos)) bytes per photo (rchar $rchar, the program's own start included)"

large=$((files * 10))
make_folder "$scratch/large" "$large"
/usr/bin/time -f %M -o "$scratch/peak" "$quadrell" "$scratch/large" >/dev/null 2>&1 || true
peak=$(tail -n 1 "$scratch/peak")
log=$("$quadrell" "$scratch/large" | wc -c)
echo
echo "$large files in one folder: peak memory $((peak / 1024)) MiB (/usr/bin/time -f %M), log text $((log / 1024 / 1024)) MiB"

# Trees one folder wide and thousands deep: time and memory grow with the
# depth, not with its square, and past the descriptor limit.
make_deep() {  # folder levels
  python3 - "$1" "$2" <<'PY'
import os, sys
root, levels = sys.argv[1], int(sys.argv[2])
os.makedirs(root)
fd = os.open(root, os.O_RDONLY)
for _ in range(levels):
    os.mkdir("d", dir_fd=fd)
    inner = os.open("d", os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd = inner
PY
}
echo
echo "a tree one folder wide, quadrell -rn over it (descriptors limited to 256)"
printf '%-28s %10s %12s\n' "levels" "seconds" "peak MiB"
for levels in 5000 20000; do
  make_deep "$scratch/deep-$levels" "$levels"
  (ulimit -n 256; /usr/bin/time -f '%e %M' -o "$scratch/deep-time" "$quadrell" -rn "$scratch/deep-$levels" >/dev/null 2>&1) || true
  read -r deep_seconds deep_peak <"$scratch/deep-time"
  printf '%-28s %10s %12s\n' "$levels" "$deep_seconds" "$((deep_peak / 1024))"
  rm -rf "$scratch/deep-$levels"
done
