#!/usr/bin/env bash
# tavirex-dicom against DCMTK's own tools: 200 exported JPEGs of about 5 MB
# sent to a local Orthanc (a fresh one, empty, for every measurement) by
#   forwarder  tavirex-dicom run --once on one job listing the 200 files;
#   (a)        img2dcm then dcmsend for each file, as a user would script it;
#   (b)        dcmsend of the 200 instances, made beforehand, in one run:
#              what the transport and the archive allow.
#   windows    with TAVIREX_BENCH_WINDOWS: tavirex-dicom.exe (the mingw-x86_64
#              preset's Release build) under wine64 on the same job, its
#              folders as Z:\..., with the prefix's wineserver kept running.
# The three run in turn, REPETITIONS times (default 3), the first one
# rotating. Prints wall time and peak memory (/usr/bin/time) of each run and
# the medians side by side. Not a test: scripts/test does not run it.
#
#   bench/forwarder_bench.sh [REPETITIONS]
#
# TAVIREX_BENCH_BUILD: build folder (default build/bench).
# TAVIREX_BENCH_DIR:   where files and the archive go (default TMPDIR or /tmp);
#                      needs about 4 GB free.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
repetitions=${1:-3}
build=${TAVIREX_BENCH_BUILD:-$root/build/bench}
base=${TAVIREX_BENCH_DIR:-${TMPDIR:-/tmp}}
files=200

log=$(mktemp)
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVIREX_BUILD_TESTS=OFF \
  -DTAVIREX_WARNINGS_AS_ERRORS=OFF && cmake --build "$build" -j2 --target tavirex-dicom; } \
  >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"
forwarder=$build/src/forwarder/tavirex-dicom
windows=${TAVIREX_BENCH_WINDOWS:-}

work=$(mktemp -d "$base/tavirex-dicom-bench-XXXXXX")
orthanc_pid=
cleanup() {
  [[ -z $orthanc_pid ]] || { kill "$orthanc_pid" 2>/dev/null; wait "$orthanc_pid" 2>/dev/null; }
  [[ -z $windows ]] || "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
http_port=$("$root/scripts/free-port")
dicom_port=$("$root/scripts/free-port")
count() {
  python3 -c "import json,urllib.request; print(json.load(urllib.request.urlopen('http://127.0.0.1:$http_port/statistics'))['CountInstances'])" 2>/dev/null
}

start_orthanc() {
  rm -rf "$work/orthanc"
  mkdir -p "$work/orthanc/db"
  cat >"$work/orthanc/orthanc.json" <<EOF
{"Name": "bench", "StorageDirectory": "$work/orthanc/db", "IndexDirectory": "$work/orthanc/db",
 "HttpPort": $http_port, "DicomPort": $dicom_port, "DicomAet": "ARCHIVE",
 "RemoteAccessAllowed": false, "AuthenticationEnabled": false, "Plugins": []}
EOF
  /usr/sbin/Orthanc "$work/orthanc/orthanc.json" >"$work/orthanc/log" 2>&1 &
  orthanc_pid=$!
  for _ in $(seq 100); do count >/dev/null && return; sleep 0.1; done
  echo "bench: Orthanc did not start" >&2
  cat "$work/orthanc/log" >&2
  exit 1
}
stop_orthanc() {
  kill "$orthanc_pid"
  wait "$orthanc_pid" 2>/dev/null || true
  orthanc_pid=
}

echo "bench: making $files exported JPEGs and, for (b), their instances"
mkdir -p "$work/store" "$work/dcm" "$work/tmp"
convert -size 3000x2000 plasma:fractal -attenuate 1.5 +noise Gaussian -quality 97 \
  -sampling-factor 2x2 "$work/export.jpg"
names=()
for ((i = 0; i < files; i++)); do
  name=$(printf '4711_1042_a_b_c_d_e_OD_2016-05-31_14-%02d-%02d.jpg' $((i / 60)) $((i % 60)))
  cp "$work/export.jpg" "$work/store/$name"
  img2dcm -q -i JPEG "$work/store/$name" "$work/dcm/$i.dcm"
  names+=("$name")
done
python3 - "$work" "${names[@]}" <<'JOB'
import json, sys
work, names = sys.argv[1], sys.argv[2:]
json.dump({"format": "tavirex-outbox-job", "version": 1, "captured": "2026-12-06T20:55:03",
           "host": {"PATIENTID": "47-11", "LastName": "Doe", "FirstName": "Ann", "MiddleName": "",
                    "DateOfBirth": "01/02/1960", "Gender": "F", "ExamRecNum": 1042,
                    "ProviderName": "", "DeviceName": "Capture Vessara", "CompanyName": "Maker",
                    "Model": "M1"},
           "files": ["C:\\Praxo\\Images\\OCT\\" + n for n in names]},
          open(work + "/job.json", "w"))
JOB
# settings FILE PATH-STYLE: the forwarder's settings, its folders named by
# PATH-STYLE (echo, or z for wine64's drive Z:).
z() { echo "Z:${1//\//\\}"; }
settings() {
  cat >"$1" <<EOF
outbox = $($2 "$work/outbox")
state = $($2 "$work/state")
[archive]
port = $dicom_port
called_ae = ARCHIVE
[paths]
C:\\Praxo\\Images\\OCT = $($2 "$work/store")
EOF
}
settings "$work/forwarder.conf" echo
settings "$work/windows.conf" z

fresh_outbox() {
  rm -rf "$work/outbox" "$work/state"
  mkdir -p "$work/outbox"
  cp "$work/job.json" "$work/outbox/20261206T205503_1042.job"
}
run_forwarder() { fresh_outbox && "$forwarder" -c "$work/forwarder.conf" run --once; }
run_windows() { fresh_outbox && "$root/scripts/wine-run" "$windows" -c "$(z "$work/windows.conf")" run --once; }
run_a() {
  local i=0
  for name in "${names[@]}"; do
    img2dcm -q -i JPEG "$work/store/$name" "$work/tmp/$i.dcm"
    dcmsend -aec ARCHIVE 127.0.0.1 "$dicom_port" "$work/tmp/$i.dcm"
    rm -f "$work/tmp/$i.dcm"
    i=$((i + 1))
  done
}
run_b() { dcmsend -aec ARCHIVE 127.0.0.1 "$dicom_port" "$work"/dcm/*.dcm; }
export -f fresh_outbox z run_forwarder run_windows run_a run_b
export work forwarder windows root dicom_port
export names_list="${names[*]}"

measure() {  # method -> "seconds peak_kB"
  start_orthanc
  sync
  /usr/bin/time -f '%e %M' -o "$work/time" bash -c "names=(\$names_list); run_$1" \
    >"$work/out" 2>&1 || { cat "$work/out" >&2; exit 1; }
  local stored
  stored=$(count)
  stop_orthanc
  if [[ $stored != "$files" ]]; then
    echo "bench: $1 left $stored instances in the archive, not $files" >&2
    cat "$work/out" >&2
    exit 1
  fi
  cat "$work/time"
}

echo "bench: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg);" \
  "$(du -sh "$work/store" | cut -f1) of JPEGs on $(findmnt -no FSTYPE -T "$work")"
methods=(forwarder a b)
if [[ -n $windows ]]; then
  source "$root/scripts/wine-env"
  "$root/scripts/wine-prefix" >/dev/null
  "$WINESERVER" -p  # a wineserver that stays: no run pays for starting one
  methods+=(windows)
fi
declare -A times memory
for ((r = 0; r < repetitions; r++)); do
  for ((k = 0; k < ${#methods[@]}; k++)); do
    m=${methods[$(((k + r) % ${#methods[@]}))]}
    read -r seconds kb < <(measure "$m")
    times[$m]+="$seconds "
    memory[$m]+="$kb "
    printf 'bench: repetition %d %-9s %6.1f s  peak %6.1f MB\n' $((r + 1)) "$m" "$seconds" \
      "$(awk "BEGIN { print $kb / 1024 }")"
  done
done
echo "bench: load average $(cut -d' ' -f1-3 /proc/loadavg) after the run"

python3 - "${times[forwarder]}" "${times[a]}" "${times[b]}" "${times[windows]:-}" \
  "${memory[forwarder]}" "${memory[a]}" "${memory[b]}" "${memory[windows]:-}" <<'SUMMARY'
import statistics, sys
t = [list(map(float, a.split())) for a in sys.argv[1:4]]
m = [list(map(float, a.split())) for a in sys.argv[5:8]]
windows = list(map(float, sys.argv[4].split()))
med = [statistics.median(x) for x in t]
print(f"\nmedians of {len(t[0])} runs, 200 JPEGs of about 5 MB each:")
for label, s, mem in zip(("tavirex-dicom run --once", "(a) img2dcm + dcmsend per file",
                          "(b) dcmsend of ready instances"), med, m):
    print(f"  {label:32} {s:7.1f} s  {s / med[2]:5.2f}x (b)  peak memory {max(mem) / 1024:6.1f} MB")
ratio = med[0] / med[2]
print(f"  forwarder / (b) = {ratio:.2f} (goal <= 1.15: {'met' if ratio <= 1.15 else 'NOT met'})")
if windows:
    w = statistics.median(windows)
    print(f"  {'tavirex-dicom.exe under wine64':32} {w:7.1f} s  {w / med[2]:5.2f}x (b)  "
          f"{w / med[0]:.2f}x the native forwarder")
SUMMARY
