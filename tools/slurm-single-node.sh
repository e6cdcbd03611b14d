#!/usr/bin/env bash
# Starts a throw-away single-node Slurm (munge, slurmctld, slurmd) on this
# machine for the sweep's job-array test, in a private state folder, and
# waits until the node accepts jobs. Prints the folder; stop it with
#   tools/slurm-single-node.sh stop FOLDER
# Needs root and Debian's slurmctld, slurmd, slurm-client and munge.
set -euo pipefail

if [ "${1:-}" = "stop" ]; then
  state="$2"
  pids=()
  for daemon in slurmd slurmctld munged; do
    if [ -f "$state/$daemon.pid" ]; then pids+=("$(cat "$state/$daemon.pid")"); fi
  done
  [ "${#pids[@]}" -eq 0 ] || kill "${pids[@]}" 2>/dev/null || true
  # The daemons save their state before they leave; a new start must not find them.
  for _ in $(seq 100); do
    alive=0
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ "$alive" -eq 0 ] && break
    sleep 0.1
  done
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  rm -rf "$state"
  exit 0
fi

timeout_s="${SLURM_START_TIMEOUT:-60}"
state="$(mktemp -d /tmp/propagon-slurm-XXXXXX)"
chmod 755 "$state"
mkdir -p "$state/munge" "$state/spool" "$state/ctld"
chown munge:munge "$state/munge" 2>/dev/null || true
node="$(hostname -s)"
cpus="$(nproc)"
memory="$(awk '/MemTotal/ { print int($2 / 1024) }' /proc/meminfo)"
cat > "$state/slurm.conf" <<CONF
ClusterName=propagon-test
SlurmctldHost=$node
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
StateSaveLocation=$state/ctld
SlurmdSpoolDir=$state/spool
SlurmctldPidFile=$state/slurmctld.pid
SlurmdPidFile=$state/slurmd.pid
SlurmctldLogFile=$state/slurmctld.log
SlurmdLogFile=$state/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
JobAcctGatherType=jobacct_gather/none
NodeName=$node CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$state/slurm.conf"

# Without systemd nobody has made munged's socket folder.
mkdir -p /run/munge
chown munge:munge /run/munge 2>/dev/null || true
if ! pgrep -x munged >/dev/null; then
  munged --socket=/run/munge/munge.socket.2 --pid-file="$state/munged.pid" -f 2>"$state/munged.log" ||
    { echo "munged did not start: $(cat "$state/munged.log")" >&2; exit 1; }
fi
slurmctld -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF"

deadline=$((SECONDS + timeout_s))
until sinfo -h -o '%t' 2>/dev/null | grep -Eq '^(idle|mix|alloc)'; do
  if [ "$SECONDS" -ge "$deadline" ]; then
    echo "Slurm did not accept jobs within ${timeout_s} s (see $state/*.log)" >&2
    "$0" stop "$state"
    exit 1
  fi
  sleep 1
done
echo "$state"
