#!/bin/bash
# Installs the floors and peers, builds a Release quennel, generates the data if missing and
# measures. Usage: bench/run.sh [--quick] [--reps N] [--timeout SECONDS] [--no-build] [--only KEYS]
# Exit: 0 every target met, 1 some target missed, 2 some quennel run failed, crashed or timed out.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="$root/bench"

quick=""
reps=""
timeout=600
build=1
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --reps) reps="$2"; shift ;;
    --timeout) timeout="$2"; shift ;;
    --no-build) build="" ;;
    --only) only="$2"; shift ;;
    -h|--help) sed -n '2,4p' "$0"; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$reps" ] || reps=$([ -n "$quick" ] && echo 1 || echo 5)

need=""
for pkg in g++ make cmake libxerces-c-dev libxerces-c-samples libxml2-utils xmlstarlet xmldiff time python3; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need="$need $pkg"
done
if [ -n "$need" ]; then
  echo "Installing:$need"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $need
fi

quennel="$root/build-bench/quennel"
if [ -n "$build" ]; then
  # -j2: the machine has two cores, often shared with other builds
  if ! { cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DQUENNEL_TESTS=OFF >/dev/null &&
         cmake --build "$root/build-bench" -j2; }; then
    echo "build failed: quennel rows will be marked as such" >&2
    rm -f "$quennel"
  fi
fi

if [ -n "$quick" ]; then
  python3 "$bench/generate.py" --quick
  results="$bench/data/RESULTS-quick.md"
else
  python3 "$bench/generate.py"
  results="$bench/RESULTS.md"
fi
# a partial run must not replace a full result
[ -z "$only" ] || results="$bench/data/RESULTS-partial.md"

exec python3 "$bench/measure.py" --quennel "$quennel" --reps "$reps" --timeout "$timeout" \
  --results "$results" ${quick:+--quick} ${only:+--only "$only"}
