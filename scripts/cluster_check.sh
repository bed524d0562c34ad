#!/usr/bin/env bash
# A batch spread over a real Slurm cluster of one node, as the README shows:
#   scripts/cluster_check.sh [MARROWVALE_BINARY]   (default build/release/marrowvale)
# Starts munged, slurmctld and slurmd as root with their configuration, state
# and logs in a temporary folder (all stopped and removed at the end, also on
# failure), builds an archive tree with repeated file names and a few files
# that cannot be converted, converts it with an array job of 4 shards and
# checks every output and report. Then one shard is run again into a fresh
# tree, killed with SIGKILL part way, requeued, and checked: complete, nothing
# converted twice, no temporary file left. Every wait has a time limit.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh slurm-wlm munge python3 >/dev/null
binary=${1:-build/release/marrowvale}
if [ ! -x "$binary" ]; then
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/release -j "$(nproc)" --target marrowvale >/dev/null
fi
binary=$(realpath "$binary")
if [ "$(id -u)" -ne 0 ]; then
  echo "cluster_check: the daemons run as root; run this as root" >&2
  exit 1
fi

work=$(mktemp -d /tmp/marrowvale_cluster_XXXXXX)
pids=()
cleanup() {
  status=$?
  if [ -n "${SLURM_CONF:-}" ] && [ -f "$SLURM_CONF" ]; then
    scancel --quiet --user=root 2>/dev/null || true
    for _ in $(seq 20); do
      [ -z "$(squeue -h 2>/dev/null)" ] && break
      sleep 0.25
    done
  fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ "$status" -ne 0 ]; then
    echo "cluster_check: FAILED; the daemons' logs:" >&2
    tail -n 15 "$work"/*.log >&2 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

started=$(date +%s%N)
lap() {
  local ms=$((($(date +%s%N) - started) / 1000000))
  printf 'cluster_check: %-48s at %3d.%03d s\n' "$1" $((ms / 1000)) $((ms % 1000))
}
fail() { echo "cluster_check: $*" >&2; exit 1; }
# until SECONDS COMMAND...: polls the command every 0.1 s.
until_ok() {
  local deadline=$(($(date +%s) + $1))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "timed out waiting for: $*"
    sleep 0.1
  done
}

# --- the cluster -------------------------------------------------------------
host=$(hostname -s)
read -r ctld_port slurmd_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')
mkdir -m 700 "$work/munge" "$work/ctld" "$work/spool" "$work/logs"
dd if=/dev/urandom of="$work/munge/key" bs=1024 count=1 status=none
chmod 400 "$work/munge/key"
munged --foreground --force --key-file="$work/munge/key" --socket="$work/munge/socket" \
  --pid-file="$work/munge/pid" --seed-file="$work/munge/seed" --log-file="$work/munged.log" \
  >/dev/null 2>&1 &
pids+=($!)
until_ok 10 test -S "$work/munge/socket"

export SLURM_CONF=$work/slurm.conf
cat > "$SLURM_CONF" <<EOF
ClusterName=marrowvale
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
# A requeued job waits for its old credential to expire: 5 s, not 120.
AuthInfo=socket=$work/munge/socket,cred_expire=5
StateSaveLocation=$work/ctld
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/ctld/pid
SlurmdPidFile=$work/spool/pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SlurmdParameters=config_overrides
ReturnToService=2
MpiDefault=none
KillWait=2
MinJobAge=600
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=check Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
slurmctld -D -i >/dev/null 2>&1 &
pids+=($!)
slurmd -D >/dev/null 2>&1 &
pids+=($!)
node_idle() { sinfo -h -o %T 2>/dev/null | grep -q '^idle'; }
until_ok 30 node_idle
lap "cluster up"

# --- the archive -------------------------------------------------------------
archive=$work/archive
python3 - "$archive" <<'PY'
import os, struct, sys
root = sys.argv[1]
def wav(path, channels, rate, frames, seed):
    data = bytearray()
    state = seed * 2654435761 % 2**32 or 1
    for _ in range(frames * channels):
        state = (state * 1103515245 + 12345) % 2**31
        data += struct.pack("<h", (state >> 8) % 65536 - 32768)
    head = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(data), b"WAVE", b"fmt ", 16, 1,
                       channels, rate, rate * channels * 2, channels * 2, 16, b"data", len(data))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(head + data)
n = 0
for session in range(13):
    for disc in ("cd1", "cd2"):
        for name in ("01.wav", "02.wav", "take1.wav", "take2.wav", "mix.wav", "MIX.WAV", "x.Wave", "y.bwf"):
            n += 1
            wav(os.path.join(root, "s%02d" % session, disc, name), 1 + n % 2, (44100, 48000)[n % 2],
                500 + 37 * n % 3000, n)
bad = {"s00/cd1/broken.wav": b"RIFF\x10\x00\x00\x00WAVEjunkjunk", "s03/empty.wav": b"",
       "s07/cd2/text.wav": b"not a recording at all\n"}
for name, body in bad.items():
    with open(os.path.join(root, name), "wb") as f:
        f.write(body)
with open(os.path.join(root, "s05/notes.txt"), "w") as f:
    f.write("not an input\n")
wav(os.fsencode(root) + b"/s09/caf\xe9.wav", 2, 44100, 800, 999)  # a name that is not UTF-8
PY
inputs=$(find "$archive" -type f ! -name '*.txt' | wc -l)
[ "$inputs" -ge 200 ] || fail "only $inputs inputs"
lap "archive of $inputs files made"

cat > "$work/job.sh" <<EOF
#!/bin/bash
echo \$\$ > "\$OUT.pid"
# A run to be killed waits for the check to let it go a step at a time.
if [ -n "\${HALT:-}" ] && [ "\${SLURM_RESTART_COUNT:-0}" = 0 ]; then kill -STOP \$\$; fi
mkdir -p "\$OUT.reports"
exec "$binary" "$archive" --input-root "$archive" -o "\$OUT" --shard "\$SLURM_ARRAY_TASK_ID/4" \\
  --skip-existing --report "\$OUT.reports/\$SLURM_ARRAY_TASK_ID-\${SLURM_RESTART_COUNT:-0}.jsonl" \\
  -q -j 1 -b 24
EOF
chmod +x "$work/job.sh"

job_done() { [ -z "$(squeue -h -j "$1" 2>/dev/null)" ]; }
submit() { sbatch --parsable --requeue -o "$work/logs/%A_%a.out" "$@" "$work/job.sh"; }

# --- the whole archive over four shards ----------------------------------------
array=$(submit --array=0-3 --export=ALL,OUT="$work/out")
until_ok 120 job_done "$array"
lap "array of 4 shards done"

# Every good input converted exactly once, with its samples widened to 24
# bits; the bad ones skipped with a reason; each input in exactly one report.
check() {
  python3 - "$archive" "$@" <<'PY'
import glob, json, os, sys
archive, out, phase = sys.argv[1], sys.argv[2], sys.argv[3]
inputs = sorted(os.path.join(d, f) for d, _, fs in os.walk(archive) for f in fs
                if not f.endswith(".txt"))
bad = {os.path.join(archive, b) for b in ("s00/cd1/broken.wav", "s03/empty.wav", "s07/cd2/text.wav")}
def data(path):
    b = open(path, "rb").read()
    at = b.index(b"data")
    return b[12:at], b[at + 8:]
def check_output(i):
    o = os.path.join(out, os.path.relpath(i, archive))
    fmt_in, samples = data(i)
    fmt_out, widened = data(o)
    expect = b"".join(b"\0" + samples[k:k + 2] for k in range(0, len(samples), 2))
    assert widened == expect and fmt_out[10:16] == fmt_in[10:16], o
records = {}
for report in sorted(glob.glob(out + ".reports/*.jsonl")):
    for line in open(report, "rb"):
        r = json.loads(line)
        records.setdefault(r["input"], []).append((os.path.basename(report), r))
if phase == "all":
    assert sorted(records) == inputs, "reports do not list every input"
    for i, seen in records.items():
        assert len(seen) == 1, (i, "listed %d times" % len(seen))
        r = seen[0][1]
        if i in bad:
            assert r["status"] == "skipped" and r["reason"], r
        else:
            assert r["status"] == "converted" and r["frames_out"] == r["frames_in"], r
            check_output(i)
    leftovers = [f for _, _, fs in os.walk(out) for f in fs if f.endswith(".part")]
    assert not leftovers, leftovers
    print("cluster_check: %d inputs, %d converted, %d skipped, each in one report"
          % (len(inputs), len(inputs) - len(bad), len(bad)))
else:  # one shard, killed part way and requeued
    def having(report, status):
        return {i for i, s in records.items() for name, r in s
                if name == report and r["status"] == status}
    first, kept = having("1-0.jsonl", "converted"), having("1-1.jsonl", "kept")
    rerun = {i for i, s in records.items() for name, r in s if name == "1-1.jsonl"}
    assert rerun == set(inputs[1::4]), "the rerun did not list the shard"
    for i, seen in records.items():
        assert [r["status"] for _, r in seen].count("converted") <= 1, (i, "converted twice")
        if i not in bad:
            check_output(i)
    # A file killed between its rename and its report line is kept, not redone.
    assert first <= kept and len(kept - first) <= 1, "the rerun converted again"
    leftovers = [f for _, _, fs in os.walk(out) for f in fs if f.endswith(".part")]
    assert not leftovers, leftovers
    print("cluster_check: shard 1 killed after %d of %d inputs; the rerun kept %d, converted %d"
          % (len(first), len(rerun), len(kept), len(rerun) - len(kept)))
PY
}
check "$work/out" all
lap "outputs and reports checked"

# --- one shard killed part way, then requeued ----------------------------------
job=$(submit --array=1 --export=ALL,OUT="$work/again",HALT=1)
until_ok 30 test -s "$work/again.pid"
pid=$(cat "$work/again.pid")
stopped() { [ "$(ps -o stat= -p "$pid" | cut -c1)" = T ]; }
until_ok 10 stopped
# Let it run a fifth of a millisecond at a time (a file takes about one)
# until a third of the shard is done and a file is being written, or half of
# it is done, then kill it. Timed from one process: a shell loop's own steps
# take longer than a whole file.
rows=$(((inputs + 2) / 4))
report=$work/again.reports/1-0.jsonl
done_rows() { if [ -f "$report" ]; then wc -l < "$report"; else echo 0; fi; }
python3 - "$pid" "$report" "$work/again" "$rows" <<'PY' || fail "the shard to be killed was not caught part way"
import os, signal, sys, time
pid, report, out, rows = int(sys.argv[1]), sys.argv[2], sys.argv[3], int(sys.argv[4])
def done():
    try:
        with open(report) as lines:
            return sum(1 for _ in lines)
    except FileNotFoundError:
        return 0
def writing():
    return any(f.endswith(".part") for _, _, files in os.walk(out) for f in files)
deadline = time.time() + 60
while True:
    n = done()
    if n >= rows // 2 or (n >= rows // 3 and writing()):
        break
    if time.time() > deadline:
        sys.exit("cluster_check: the shard to be killed made no progress")
    os.kill(pid, signal.SIGCONT)
    time.sleep(0.0002)
    os.kill(pid, signal.SIGSTOP)
PY
left=$(find "$work/again" -name '*.part' | wc -l)
kill -KILL "$pid"
until_ok 30 job_done "$job"
[ "$(done_rows)" -lt "$rows" ] || fail "the shard finished before it was killed"
lap "shard 1 killed after $(done_rows) of $rows ($left temporary left)"
scontrol requeue "${job}_1"
until_ok 120 job_done "$job"
lap "shard 1 requeued and done"
check "$work/again" one
lap "resumed shard checked"
