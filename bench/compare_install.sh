#!/usr/bin/env bash
# Times the engine's install of one generated payload (2,000 files, about
# 500 MB, nested folders) into two Rhino versions against the naive baseline,
# each pair back to back, and prints the medians, the ratio, the hashing
# limit of this machine and the peak resident memory of both.
#   bench/compare_install.sh [runs] [files] [megabytes]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
files=${2:-2000}
megabytes=${3:-500}

scripts/setup
cmake --preset default >/dev/null
cmake --build --preset default --target install_driver >/dev/null
driver=build/default/bench/install_driver

work=$(mktemp -d /tmp/nimbra-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
"$driver" generate "$work/Payload" "$files" "$megabytes"
(cd "$work/Payload/Package" && find . -type f -printf '%P\n' | sort | xargs -d '\n' sha256sum) > "$work/listing"

rate=$(openssl speed -evp sha256 -seconds 2 2>/dev/null | awk '/^sha256/ {print $NF}' | tr -d k)
echo "openssl speed -evp sha256, 16 KiB blocks: $(awk -v r="$rate" 'BEGIN {printf "%.2f GB/s per core", r * 1000 / 1e9}')"

engine_times=()
baseline_times=()
for run in $(seq 1 "$runs"); do
  rm -rf "$work/home" "$work/baseline"
  sync
  engine_out=$(/usr/bin/time -f 'rss %M' "$driver" install "$work/Payload" "$work/home" 2>&1)
  engine_times+=("$(awk '/^seconds/ {print $2}' <<<"$engine_out")")
  hashed=$(awk '/^seconds/ {print $4}' <<<"$engine_out")
  engine_rss=$(awk '/^rss/ {print $2}' <<<"$engine_out")
  sync
  start=$(date +%s.%N)
  baseline_out=$(/usr/bin/time -f 'rss %M' bench/baseline_install.sh "$work/Payload/Package" "$work/listing" "$work/baseline" 2>&1)
  baseline_times+=("$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN {print e - s}')")
  baseline_rss=$(awk '/^rss/ {print $2}' <<<"$baseline_out")
  echo "run $run: engine ${engine_times[-1]} s, baseline ${baseline_times[-1]} s"
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
engine=$(median "${engine_times[@]}")
baseline=$(median "${baseline_times[@]}")
awk -v e="$engine" -v b="$baseline" -v h="$hashed" -v r="$rate" -v er="$engine_rss" -v br="$baseline_rss" 'BEGIN {
  printf "engine install (median of %d):   %.3f s, peak RSS %.1f MiB\n", '"$runs"', e, er / 1024
  printf "baseline install (median):      %.3f s, peak RSS %.1f MiB (largest process)\n", b, br / 1024
  printf "hashed %.2f GB at %.2f GB/s: %.0f %% of the two-core limit (%.2f GB/s)\n", h / 1e9, h / e / 1e9, 100 * (h / e) / (2 * r * 1000), 2 * r * 1000 / 1e9
  printf "ratio: %.3f\n", e / b
}'
