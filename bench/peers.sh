#!/usr/bin/env bash
# The same jobs done with pelkor, gammu and gnokii against phonesim paced at the line
# rate (115200 baud): each whole command from start to exit, the median of RUNS runs.
# For pelkor also the time it spent on the line (first to last byte of its trace) and
# the wire time of the bytes exchanged (86.8 us a byte, both directions).
#
#   bench/peers.sh [BUILD]          BUILD defaults to build; RUNS=5 by default
#
# Prints a Markdown table (docs/performance.md shows one). Needs gammu and gnokii
# (tests/peers/install_peers.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
RUNS=${RUNS:-5}
PHONESIM=$BUILD/tools/phonesim/phonesim
PELKOR=$BUILD/tools/pelkor/pelkor
for tool in "$PHONESIM" "$PELKOR"; do [ -x "$tool" ] || { echo "no $tool: build first" >&2; exit 1; }; done
command -v gammu >/dev/null && command -v gnokii >/dev/null || { echo "gammu and gnokii are needed" >&2; exit 1; }

WORK=$(mktemp -d /tmp/pb-XXXXXX)  # short: gnokii cuts the port's path at 30 characters
trap 'rm -rf "$WORK"' EXIT
NUMBER=+491701234567
LONG_TEXT="This message is longer than one part can carry, so every client splits it in two: the phone gets two submits with the same reference and the parts numbered one and two, and joins them."

# The example state, with the store holding 50 received messages.
python3 - "$WORK/fifty.json" <<'EOF'
import json, sys
state = json.load(open("examples/phone-state.json"))
state["sms"]["capacity"] = 50
state["sms"]["messages"] = [
    {"location": i, "kind": "received", "read": True, "sender": "+4917011112222",
     "text": "Message number %d of fifty, long enough to look like a real one." % i,
     "time": [26, 12, 8, 17, i % 60, 0]} for i in range(1, 51)]
json.dump(state, open(sys.argv[1], "w"))
EOF

cat > "$WORK/gammurc" <<EOF
[gammu]
device = $WORK/phone
connection = fbus
model = 6110
EOF
cat > "$WORK/gnokiirc" <<EOF
[global]
port = $WORK/phone
model = 6110
connection = serial
EOF

now() { date +%s.%N; }

# run_job TOOL STATE STDIN COMMAND... : one timed run against a fresh paced phone.
# Prints "seconds line_seconds wire_seconds" (the last two for pelkor only, else -).
run_job() {
  local tool=$1 state=$2 input=$3; shift 3
  rm -f "$WORK/phone" "$WORK/trace"
  "$PHONESIM" --state "$state" --link "$WORK/phone" --pace >/dev/null 2>&1 &
  local sim=$!
  for _ in $(seq 100); do [ -e "$WORK/phone" ] && break; sleep 0.02; done
  local start end status=0
  start=$(now)
  case $tool in
    pelkor) "$PELKOR" --port "$WORK/phone" --trace "$WORK/trace" "$@" <<<"$input" >/dev/null 2>&1 || status=$? ;;
    gammu)  HOME=$WORK gammu -c "$WORK/gammurc" "$@" <<<"$input" >/dev/null 2>&1 || status=$? ;;
    gnokii) HOME=$WORK gnokii --config "$WORK/gnokiirc" "$@" <<<"$input" >/dev/null 2>&1 || status=$? ;;
  esac
  end=$(now)
  kill "$sim"; wait "$sim" 2>/dev/null || true
  [ "$status" -eq 0 ] || { echo "$tool $*: exit $status" >&2; echo "fail - -"; return; }
  if [ "$tool" = pelkor ]; then
    python3 - "$WORK/trace" "$start" "$end" <<'EOF'
import sys
stamps, count = [], 0
for line in open(sys.argv[1]):
    parts = line.split()
    if len(parts) < 3 or parts[1] not in ("tx", "rx"):
        continue
    h, m, s = parts[0].split(":")
    stamps.append(int(h) * 3600 + int(m) * 60 + float(s))
    count += int(parts[2].rstrip(":"))
total = float(sys.argv[3]) - float(sys.argv[2])
print("%.3f %.3f %.3f" % (total, max(stamps) - min(stamps), count * 86.806e-6))
EOF
  else
    echo "$(echo "$end - $start" | bc) - -"
  fi
}

# median of the first column (and of the others, when numbers) over RUNS runs
measure() {
  local results=()
  for _ in $(seq "$RUNS"); do results+=("$(run_job "$@")"); done
  printf '%s\n' "${results[@]}" | python3 -c '
import sys, statistics
rows = [l.split() for l in sys.stdin if l.strip()]
def med(i):
    vals = [float(r[i]) for r in rows if r[i] not in ("-", "fail")]
    if any(r[i] == "fail" for r in rows): return "fail"
    return "%.2f" % statistics.median(vals) if vals else "-"
print(" ".join(med(i) for i in range(3)))'
}

EXAMPLE=examples/phone-state.json
declare -A JOB_PELKOR=(
  [identify]="identify" [clock]="clock get" [entry]="pb get 1 --memory 1" [allsms]="sms list"
  [send2]="sms send $NUMBER")
declare -A JOB_GAMMU=(
  [identify]="identify" [clock]="getdatetime" [entry]="getmemory SM 1" [allsms]="getallsms"
  [send2]="sendsms TEXT $NUMBER -autolen 400 -text")
declare -A JOB_GNOKII=(
  [identify]="--identify" [clock]="--getdatetime" [entry]="--getphonebook SM 1" [allsms]="--getsms SM 1 50"
  [send2]="--sendsms $NUMBER")
declare -A TITLE=(
  [identify]="identify" [clock]="read the clock" [entry]="read one phonebook entry"
  [allsms]="read all SMS (50 stored)" [send2]="send a 2-part SMS")

echo "| job | pelkor (s) | pelkor on the line (s) | wire time (s) | gammu (s) | gnokii (s) |"
echo "|---|---:|---:|---:|---:|---:|"
for job in identify clock entry allsms send2; do
  state=$EXAMPLE; [ "$job" = allsms ] && state=$WORK/fifty.json
  # shellcheck disable=SC2206
  p=(${JOB_PELKOR[$job]}); g=(${JOB_GAMMU[$job]}); n=(${JOB_GNOKII[$job]})
  if [ "$job" = send2 ]; then
    read -r pt pl pw <<<"$(measure pelkor "$state" "" "${p[@]}" "$LONG_TEXT")"
    read -r gt _ _ <<<"$(measure gammu "$state" "" "${g[@]}" "$LONG_TEXT")"
    read -r nt _ _ <<<"$(measure gnokii "$state" "$LONG_TEXT" "${n[@]}")"
  else
    read -r pt pl pw <<<"$(measure pelkor "$state" "" "${p[@]}")"
    read -r gt _ _ <<<"$(measure gammu "$state" "" "${g[@]}")"
    read -r nt _ _ <<<"$(measure gnokii "$state" "" "${n[@]}")"
  fi
  echo "| ${TITLE[$job]} | $pt | $pl | $pw | $gt | $nt |"
done

# What an idle session costs: pelkor watch holds a session open and waits; its CPU time
# and the keep-alive bytes it exchanges over IDLE seconds.
IDLE=${IDLE:-20}
rm -f "$WORK/phone" "$WORK/trace"
"$PHONESIM" --state "$EXAMPLE" --link "$WORK/phone" --pace >/dev/null 2>&1 &
sim=$!
for _ in $(seq 100); do [ -e "$WORK/phone" ] && break; sleep 0.02; done
"$PELKOR" --port "$WORK/phone" --trace "$WORK/trace" watch >/dev/null 2>&1 &
watcher=$!
sleep 2  # past the start-up
read -r u0 s0 < <(awk '{print $14, $15}' "/proc/$watcher/stat")
b0=$(awk '$2 == "tx" || $2 == "rx" {n += $3} END {print n + 0}' "$WORK/trace")
sleep "$IDLE"
read -r u1 s1 < <(awk '{print $14, $15}' "/proc/$watcher/stat")
b1=$(awk '$2 == "tx" || $2 == "rx" {n += $3} END {print n + 0}' "$WORK/trace")
kill "$watcher" "$sim"; wait "$watcher" "$sim" 2>/dev/null || true
ticks=$(getconf CLK_TCK)
echo
awk -v cpu="$((u1 + s1 - u0 - s0))" -v ticks="$ticks" -v bytes="$((b1 - b0))" -v idle="$IDLE" 'BEGIN {
  printf "Idle session (pelkor watch, %d s): CPU %.1f ms a second, %.1f bytes a second on the line\n",
         idle, cpu * 1000 / ticks / idle, bytes / idle }'
