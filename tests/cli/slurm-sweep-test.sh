#!/usr/bin/env bash
# The sweep's Slurm job array submitted for real to a single-node Slurm that
# this script starts (tools/slurm-single-node.sh) and stops again: every
# array task runs its line of jobs.txt, and collect finds every run equal to
# the same line run by hand. Skipped (exit 77) when Slurm cannot be started
# here within a minute; CliSweep.TheSlurmArrayScriptRunsItsLineAsSlurmWould
# then still checks the script with bash -n and runs its array body.
#   slurm-sweep-test.sh POLYKIN_CLI HANDWRITTEN.kpx TOOLS_DIR
set -euo pipefail
cli="$1"
source_file="$2"
tools="$3"

if [ "$(id -u)" -ne 0 ] || ! command -v slurmctld >/dev/null || ! command -v munged >/dev/null; then
  echo "SKIP: a single-node Slurm needs root and Debian's slurmctld, slurmd, slurm-client and munge"
  exit 77
fi
top="$(mktemp -d /tmp/propagon-slurm-test-XXXXXX)"
# A folder name with a blank and a quote, as users have them.
work="$top/it's a study"
mkdir "$work"
state=""
cleanup() {
  if [ -n "$state" ]; then "$tools/slurm-single-node.sh" stop "$state"; fi
  rm -rf "$top"
}
trap cleanup EXIT
if ! state="$("$tools/slurm-single-node.sh")"; then
  state=""
  echo "SKIP: Slurm did not start within a minute"
  exit 77
fi
export SLURM_CONF="$state/slurm.conf"

"$cli" prepare "$source_file" --out "$work/base.kpx" >/dev/null
"$cli" sweep "$work/base.kpx" --set "Components/InitiatorAmount=0.01,0.02" --set "ChemicalRates/A*A=0.5,1" \
  --replicas 2 --seed 5 --out "$work/sweep" >/dev/null
timeout 300 sbatch --wait --quiet "$work/sweep/sweep.sbatch"
"$cli" collect "$work/sweep"

# Four runs of (check points) rows each, plus the header.
rows_per_run=$(($(wc -l < "$work/sweep/run_1/results/ensemble/checkpoints_mean.tsv") - 1))
test "$(wc -l < "$work/sweep/collected.tsv")" -eq $((4 * rows_per_run + 1))
# Line 3 by hand gives what its array task gave.
line="$(sed -n 3p "$work/sweep/jobs.txt")"
by_hand="${line//run_3\/results/run_3\/by-hand}"
bash -c "$by_hand"
cmp "$work/sweep/run_3/results/ensemble/checkpoints_mean.tsv" "$work/sweep/run_3/by-hand/ensemble/checkpoints_mean.tsv"
for task in 1 2 3 4; do
  test -f "$work/sweep/slurm-"*"_$task.out"
done
echo "Slurm job array: 4 tasks ran, collected and equal to the lines run by hand"
