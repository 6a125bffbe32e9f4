#!/bin/bash
# What a relay restart costs an operator: the example service logs 100 records/s, the relay is
# stopped with SIGTERM and started again OUTAGE seconds later, and two tails count the records
# they printed, one on the output (-a) and one on the history (-H). Records are numbered by the
# service, so what a tail missed is every number it did not print between the first and the
# newest one the history holds at the end.
# usage: bench/relay/restart_outage.sh [BUILD_DIR] [OUTAGE_SECONDS] [REPETITIONS]
set -euo pipefail
build=${1:-build/release}
outage=${2:-2}
repetitions=${3:-5}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat > "$dir/relay.json" <<JSON
{"system": {"input_address": "tcp://127.0.0.1:25555", "output_address": "tcp://127.0.0.1:25556",
            "history_address": "tcp://127.0.0.1:25557"}}
JSON

missing() {
    python3 -c 'import sys
printed = {int(l.rsplit(" ", 1)[1]) for l in open(sys.argv[1]) if " heartbeat " in l}
print(len(set(range(1, int(sys.argv[2]) + 1)) - printed))' "$1" "$2"
}

for repetition in $(seq "$repetitions"); do
    "$build/src/vandrel" -c "$dir/relay.json" 2>/dev/null & relay=$!
    sleep 0.5
    "$build/tools/tail/vandrel-tail" -a tcp://127.0.0.1:25556 > "$dir/output" & plain=$!
    "$build/tools/tail/vandrel-tail" -H tcp://127.0.0.1:25557 -n 0 > "$dir/history" 2> "$dir/gaps" & tail=$!
    sleep 0.5
    "$build/examples/heartbeat_service/heartbeat_service" -a tcp://127.0.0.1:25555 -i 10 2>/dev/null & service=$!
    sleep 3
    kill -TERM $relay; wait $relay || true
    sleep "$outage"
    "$build/src/vandrel" -c "$dir/relay.json" 2>/dev/null & relay=$!
    sleep 3
    kill -TERM $service; wait $service || true
    sleep 2
    newest=$("$build/tools/tail/vandrel-tail" -H tcp://127.0.0.1:25557 -n 1 --no-follow "&heartbeat_service:heartbeat " | awk '{print $NF}')
    kill -TERM $plain $tail $relay; wait $plain $tail $relay || true
    echo "repetition $repetition: $newest records sent; lost on the output: $(missing "$dir/output" "$newest"); lost on the history: $(missing "$dir/history" "$newest"); gaps said: $(wc -l < "$dir/gaps")"
done
