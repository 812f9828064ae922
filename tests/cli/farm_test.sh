#!/bin/sh
# A render farm on this one machine: a single-node Slurm (munge, slurmctld,
# slurmd, all in a temporary folder on private ports) runs a 12-frame
# TimeLine as a job array of chunks, GNU parallel runs it one frame per
# process, and every frame must equal a local run byte for byte. Only root
# can start the daemons this way; elsewhere the test is skipped (77).
set -eu
cli=$1
src=$2
dir=$3
if [ "$(id -u)" -ne 0 ]; then echo "farm test: skipped (not root)"; exit 77; fi
for tool in munged slurmctld slurmd sbatch sinfo parallel; do
  command -v "$tool" >/dev/null 2>&1 || { echo "farm test: skipped ($tool not installed)"; exit 77; }
done
started=$(date +%s)
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
S=$dir/slurm
mkdir -p "$S/munge" "$S/run" "$S/log" "$S/state" "$S/spool" farm par local
chmod 700 "$S/munge"

stop() {
  # Only the daemons this test started, by the pids they wrote.
  for name in slurmd slurmctld munged; do
    if [ -f "$S/run/$name.pid" ]; then
      pid=$(cat "$S/run/$name.pid")
      kill "$pid" 2>/dev/null || true
      n=0
      while kill -0 "$pid" 2>/dev/null && [ $n -lt 50 ]; do sleep 0.1; n=$((n + 1)); done
    fi
  done
}
trap stop EXIT
fail() { echo "farm test: $1"; for f in "$S"/log/*.log "$S"/job_*.out; do [ -f "$f" ] && tail -5 "$f"; done; exit 1; }

head -c 1024 /dev/urandom >"$S/munge/munge.key"
chmod 400 "$S/munge/munge.key"
munged --key-file="$S/munge/munge.key" --socket="$S/run/munge.sock" --pid-file="$S/run/munged.pid" \
  --log-file="$S/log/munged.log" --seed-file="$S/run/munge.seed" -f || fail "munged did not start"

host=$(hostname -s)
cat >"$S/slurm.conf" <<CONF
ClusterName=qvfarm
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=16817
SlurmdPort=16818
AuthType=auth/munge
AuthInfo=socket=$S/run/munge.sock
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$S/state
SlurmdSpoolDir=$S/spool
SlurmctldPidFile=$S/run/slurmctld.pid
SlurmdPidFile=$S/run/slurmd.pid
SlurmctldLogFile=$S/log/slurmctld.log
SlurmdLogFile=$S/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=10 State=UP
CONF
export SLURM_CONF="$S/slurm.conf"
slurmctld -f "$S/slurm.conf" || fail "slurmctld did not start"
slurmd -f "$S/slurm.conf" || fail "slurmd did not start"
n=0
until sinfo -h -o %t 2>/dev/null | grep -q idle; do
  n=$((n + 1))
  [ $n -le 60 ] || fail "the node did not come up in 30 s"
  sleep 0.5
done

tml=$src/tests/cli/data/wave12.tml
"$cli" sample "$dir/in.bmp" --size 64x48
"$cli" generate "$tml" --image "$dir/in.bmp" --out "$dir/local/f.bmp"

cat >job.sh <<JOB
#!/bin/sh
exec "$cli" generate "$tml" --image "$dir/in.bmp" --chunk \$SLURM_ARRAY_TASK_ID/\$SLURM_ARRAY_TASK_COUNT --out "$dir/farm/f.bmp"
JOB
chmod +x job.sh
timeout 180 sbatch --wait --array=1-4 -o "$S/job_%a.out" -D "$dir" job.sh >/dev/null || fail "the job array failed"

parallel -j2 "$cli" generate "$tml" --image "$dir/in.bmp" --frames {} --out "$dir/par/f.bmp" ::: $(seq 12) ||
  fail "GNU parallel failed"

for n in 01 02 03 04 05 06 07 08 09 10 11 12; do
  cmp local/f00$n.bmp farm/f00$n.bmp || fail "frame $n from Slurm differs"
  cmp local/f00$n.bmp par/f00$n.bmp || fail "frame $n from parallel differs"
done
echo "farm test: 12 frames from Slurm and from parallel equal a local run ($(($(date +%s) - started)) s)"
