#!/usr/bin/env bash
# Cold start to the main window shown, several times, on a virtual display:
# the time from just before bench_coldstart is started to the main window's
# first exposure (the harness prints that moment). The harness runs from a
# folder of its own with 20 sellers and 5 recipients, and its own settings.
#
#   bench/coldstart.sh [BUILD-DIR] [RUNS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-10}
if [[ -z "${COLDSTART_INSIDE_XVFB:-}" ]]; then
    COLDSTART_INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$runs"
fi
export QT_QPA_PLATFORM=xcb
run=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-coldstart.XXXXXX")
trap 'rm -rf "$run"' EXIT
mkdir -p "$run/program" "$run/config" "$run/data"
cp "$build/bench/bench_coldstart" "$run/program/"
for i in $(seq -w 1 20); do printf 'seller-%s\r\n' "$i"; done >"$run/program/Accounts.txt"
for i in 1 2 3 4 5; do printf 'watcher%s@example.com\r\n' "$i"; done >"$run/program/EmailAddresses.txt"
export XDG_CONFIG_HOME="$run/config" XDG_DATA_HOME="$run/data"
"$run/program/bench_coldstart" >/dev/null 2>&1 || true # warm the file cache once
times=()
for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    end=$("$run/program/bench_coldstart" 2>/dev/null | tail -n 1)
    times+=($(((end - start) / 1000000)))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "cold start to window shown, ms: ${times[*]}"
echo "min ${sorted[0]}  median ${sorted[$((runs / 2))]}  max ${sorted[$((runs - 1))]}"
