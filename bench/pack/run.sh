#!/usr/bin/env bash
# Packs the same corpus with our engine (level 9, the backup tool's store suffixes), Info-ZIP
# zip -9 and 7-Zip (zip format, -mx=5, two threads), and prints times, sizes and ratios, plus the
# compute limit: the CPU time of libdeflate level 9 on the bytes our engine compresses, divided
# by the number of cores.
#   bench/pack/run.sh            build into build-bench/, make the corpus there if missing, run
#   KEEP_CORPUS=0 bench/pack/run.sh   rebuild the corpus first
#   REPEAT=5 bench/pack/run.sh         runs per packer (default 3); the fastest run counts, as
#                                      the one least disturbed by other work on the machine
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work="$root/build-bench"
cd "$root"
source tools/deps.sh
dravello_install_deps

cmake -S . -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDRAVELLO_WITH_QT=OFF -DDRAVELLO_TESTS=OFF \
  -DDRAVELLO_BENCH=ON >/dev/null
cmake --build "$work" -j2 --target zipengine_dll pack_driver >/dev/null

if [ "${KEEP_CORPUS:-1}" = 0 ] || [ ! -d "$work/corpus" ]; then
  echo "Making the corpus..."
  bench/pack/make_corpus.sh "$work"
fi
head -3 "$work/SOURCES.txt"

suffixes=".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha:.rar:.ace:.cab:.gz:.gzip:.jar"
cores=$(nproc)
out="$work/out"
rm -rf "$out"
mkdir -p "$out"

# Runs a command after warming the page cache; prints "wall-seconds peak-KiB cpu-seconds".
measure() {
  find "$work/corpus" -type f -print0 | xargs -0 cat > /dev/null
  sync
  python3 - "$out/log.txt" "$@" <<'PY'
import resource, subprocess, sys, time
with open(sys.argv[1], "w") as log:
    t = time.monotonic()
    rc = subprocess.run(sys.argv[2:], stdout=log, stderr=subprocess.STDOUT).returncode
    wall = time.monotonic() - t
ru = resource.getrusage(resource.RUSAGE_CHILDREN)
if rc != 0:
    sys.exit(f"{sys.argv[2]} failed with {rc}")
print(f"{wall:.3f} {ru.ru_maxrss} {ru.ru_utime + ru.ru_stime:.3f}")
PY
}

# Runs a packer REPEAT times into a fresh archive; prints the fastest run's measurements.
best() {
  local archive=$1; shift
  local runs=()
  for _ in $(seq "${REPEAT:-3}"); do
    rm -f "$archive"
    runs+=("$(cd "$work" && measure "$@")")
  done
  printf '%s\n' "${runs[@]}" | sort -n | head -1
  printf '%s\n' "${runs[@]}" | awk '{printf "  %s run: %.2f s\n", "'"$(basename "$archive")"'", $1}' >&2
}

read -r t_ours m_ours c_ours < <(best "$out/ours.zip" "$work/bin/pack_driver" pack "$work/bin/ZIPENGINE.DLL" "$out/ours.zip" "$work" corpus)
# Reading our archive back, as a pack run does after packing: what the check adds to a run.
verify_runs=()
for _ in $(seq "${REPEAT:-3}"); do verify_runs+=("$(cd "$work" && measure "$work/bin/pack_driver" verify "$out/ours.zip")"); done
printf '%s\n' "${verify_runs[@]}" | awk '{printf "  verify run: %.2f s\n", $1}' >&2
read -r t_verify m_verify c_verify < <(printf '%s\n' "${verify_runs[@]}" | sort -n | head -1)
read -r t_zip m_zip c_zip < <(best "$out/zip.zip" zip -q -9 -r -n "$suffixes" "$out/zip.zip" corpus)
read -r t_7z m_7z c_7z < <(best "$out/7z.zip" 7zz a -bd -tzip -mx=5 -mmt=2 "$out/7z.zip" corpus)
echo "load average after the runs: $(cut -d' ' -f1-3 /proc/loadavg)"
read -r cpu_limit bytes_compressible _ < <("$work/bin/pack_driver" limit "$work" corpus)

size() { stat -c %s "$1"; }
s_ours=$(size "$out/ours.zip"); s_zip=$(size "$out/zip.zip"); s_7z=$(size "$out/7z.zip")
unzip -tq "$out/ours.zip" >/dev/null || { echo "our archive fails unzip -t"; exit 1; }

python3 - "$t_ours" "$t_zip" "$t_7z" "$s_ours" "$s_zip" "$s_7z" "$m_ours" "$m_zip" "$m_7z" "$cpu_limit" "$cores" \
  "$bytes_compressible" "$c_ours" "$c_zip" "$c_7z" <<'PY'
import sys
t_ours, t_zip, t_7z = map(float, sys.argv[1:4])
s_ours, s_zip, s_7z, m_ours, m_zip, m_7z = map(int, sys.argv[4:10])
cpu, cores, comp = float(sys.argv[10]), int(sys.argv[11]), int(sys.argv[12])
c_ours, c_zip, c_7z = map(float, sys.argv[13:16])
limit = cpu / cores
print(f"\n{'packer':<34}{'wall s':>9}{'cpu s':>9}{'size bytes':>14}{'peak MiB':>10}")
for name, t, c, s, m in (("ours (level 9, store suffixes)", t_ours, c_ours, s_ours, m_ours),
                         ("zip -9 -r -n <suffixes>", t_zip, c_zip, s_zip, m_zip),
                         ("7zz a -tzip -mx=5 -mmt=2", t_7z, c_7z, s_7z, m_7z)):
    print(f"{name:<34}{t:>9.2f}{c:>9.2f}{s:>14}{m/1024:>10.0f}")
print(f"\ncompute limit: libdeflate -9 CPU {cpu:.2f} s on {comp/1e6:.0f} MB / {cores} cores = {limit:.2f} s")
def verdict(ok): return "met" if ok else "NOT met"
print(f"vs zip -9 : {t_zip/t_ours:.2f}x faster (target >= 4),  size {s_ours/s_zip:.4f} of zip's (target <= 1)  "
      f"-> {verdict(t_zip/t_ours >= 4 and s_ours <= s_zip)}")
print(f"vs 7zz -mx=5: {t_7z/t_ours:.2f}x faster (target >= 2),  size {s_ours/s_7z:.4f} of 7zz's (target <= 1)  "
      f"-> {verdict(t_7z/t_ours >= 2 and s_ours <= s_7z)}")
print(f"vs compute limit: {t_ours/limit:.2f}x the limit (target <= 1.3) -> {verdict(t_ours/limit <= 1.3)}")
PY
python3 - "$t_ours" "$t_verify" "$c_verify" "$m_verify" <<'PY'
import sys
t_pack, t_verify, c_verify, m_verify = float(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4])
print(f"reading the archive back: {t_verify:.2f} s wall, {c_verify:.2f} s CPU, peak {m_verify/1024:.0f} MiB; "
      f"pack + check {t_pack + t_verify:.2f} s = {(t_pack + t_verify)/t_pack:.3f}x the pack alone "
      f"(target <= 1.15) -> {'met' if t_verify <= 0.15 * t_pack else 'NOT met'}")
PY
