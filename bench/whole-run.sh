#!/usr/bin/env bash
# Whole-process speed of `polykin-cli run` against the minimal loop of the same
# algorithm (fr_minimal_loop, atrp_minimal_loop, reversible_minimal_loop), run
# alternately on one machine.
#
#   bench/whole-run.sh [-p free-radical|atrp|reversible] [-r ROUNDS] [-n INITIATORS] [-b BUILD_DIR]
#
# The reference system of the process (bench/reference-free-radical.kpx, or
# bench/reference-atrp.kpx: the styrene ATRP example, or
# bench/reference-reversible.kpx: the alpha-methylstyrene example) is prepared at the
# chosen number of initiator molecules (monomer scales with it), then each
# round runs both programs with the same seed, in alternating order, and reads
# their CPU seconds (user + system) and peak resident memory from /usr/bin/time.
# Both perform the same events for a seed (the yardstick draws the program's
# random numbers from std::mt19937), so CPU seconds per event compare directly.
#
# What it prints is a ratio, minimal loop CPU time / program CPU time (above 1:
# the program is faster), with its median and range over the rounds. An
# absolute rate from one shared virtual machine does not reproduce elsewhere;
# the ratio measured side by side does, within its spread.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

rounds=5
initiators=100000
build="$here/build-bench"
process=free-radical
while getopts "p:r:n:b:" opt; do
  case "$opt" in
  p) process="$OPTARG" ;;
  r) rounds="$OPTARG" ;;
  n) initiators="$OPTARG" ;;
  b) build="$OPTARG" ;;
  *) echo "usage: $0 [-p free-radical|atrp|reversible] [-r ROUNDS] [-n INITIATORS] [-b BUILD_DIR]" >&2; exit 1 ;;
  esac
done
case "$process" in
free-radical) loop=fr_minimal_loop ;;
atrp) loop=atrp_minimal_loop ;;
reversible) loop=reversible_minimal_loop ;;
*) echo "unknown process $process (free-radical, atrp, reversible)" >&2; exit 1 ;;
esac

cli="$build/bin/polykin-cli"
minimal="$build/bin/$loop"
if [ ! -x "$cli" ] || [ ! -x "$minimal" ]; then
  echo "Build the programs first:" >&2
  echo "  cmake -S $here -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROPAGON_BENCH=ON -DPROPAGON_GUI=OFF -DPROPAGON_TESTS=OFF" >&2
  echo "  cmake --build $build --target polykin-cli fr_minimal_loop atrp_minimal_loop reversible_minimal_loop" >&2
  exit 1
fi
if [ ! -x /usr/bin/time ]; then
  echo "/usr/bin/time is missing (Debian package: time)" >&2
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The reference at the chosen size: the user's number of initiator molecules
# is the one [General] key that sets the scale.
kpx="$work/reference.kpx"
sed "/^\[General\]/,/^\[/ s/^InitiatorNumber=.*/InitiatorNumber=$initiators/" \
  "$here/bench/reference-$process.kpx" > "$kpx"
"$cli" prepare "$kpx" > "$work/prepare.log" 2>&1 || { cat "$work/prepare.log" >&2; exit 1; }

cpu_of() { awk '{ printf "%.3f", $1 + $2 }' "$1"; }
rss_of() { awk '{ printf "%.0f", $3 / 1024 }' "$1"; }

run_program() {
  rm -rf "$work/out"
  /usr/bin/time -o "$work/time.cli" -f "%U %S %M" "$cli" run "$kpx" --seed 1 --quiet --out "$work/out" > /dev/null
  sed -n 's/.*"events": *\([0-9]*\).*/\1/p' "$work/out/summary.json" > "$work/events.cli"
}
run_minimal() {
  /usr/bin/time -o "$work/time.min" -f "%U %S %M" "$minimal" "$kpx" 1 > "$work/out.min"
  sed -n 's/.*events=\([0-9]*\).*/\1/p' "$work/out.min" > "$work/events.min"
}

echo "processor: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
echo "reference: $process, $initiators initiator molecules, $rounds rounds, seed 1"
printf "%-6s %12s %12s %10s %10s %9s %9s %7s\n" round events "cli ns/ev" "loop ns/ev" "cli MB" "loop MB" "" ratio
ratios=()
for ((i = 1; i <= rounds; i++)); do
  # Alternate the order so that a drift of the machine's speed hits both.
  if (( i % 2 )); then run_program; run_minimal; else run_minimal; run_program; fi
  ev="$(cat "$work/events.cli")"
  evm="$(cat "$work/events.min")"
  if [ "$ev" != "$evm" ]; then
    echo "the two programs performed different events ($ev against $evm): not the same algorithm" >&2
    exit 1
  fi
  c="$(cpu_of "$work/time.cli")"
  m="$(cpu_of "$work/time.min")"
  ratio="$(awk -v m="$m" -v c="$c" 'BEGIN { printf "%.3f", m / c }')"
  ratios+=("$ratio")
  printf "%-6s %12s %12.1f %10.1f %10s %9s %9s %7s\n" "$i" "$ev" \
    "$(awk -v c="$c" -v e="$ev" 'BEGIN { print c / e * 1e9 }')" \
    "$(awk -v m="$m" -v e="$ev" 'BEGIN { print m / e * 1e9 }')" \
    "$(rss_of "$work/time.cli")" "$(rss_of "$work/time.min")" "" "$ratio"
done
printf "%s\n" "${ratios[@]}" | sort -g | awk '
  { v[NR] = $1 }
  END {
    med = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "ratio (minimal loop CPU / polykin-cli CPU): median %.2f, range %.2f-%.2f over %d rounds\n", med, v[1], v[NR], NR
  }'
