#!/usr/bin/env bash
# Soak run: the real program against the sandbox (a simulated auction site
# and a mail catcher on 127.0.0.1) for many check cycles, with a shortened
# minute, sampling the program's resident memory and open file descriptors
# from /proc. Both should stay flat once the first cycles have warmed up.
# Not a CI test: it runs for minutes and its figures are read by people.
#
#   scripts/soak.sh [--build DIR] [--cycles N] [--minute-ms MS] [--every S] [--csv FILE]
#
#   --build DIR     build folder (default build); built first
#   --cycles N      check cycles to run (default 500)
#   --minute-ms MS  length of the program's minute (default 5; a cycle starts
#                   every 60 minutes, the interval the program starts with)
#   --every S       seconds between samples (default 2)
#   --csv FILE      where the samples go (default soak-<date>.csv here)
#
# The program gets a settings folder and a program folder of its own in a
# temporary folder; the user's own settings and lists are never touched.
# 20 sellers (the sandbox's 5 and 15 without auctions), 5 recipients.
set -euo pipefail

build=build
cycles=500
minute_ms=5
every=2
csv=""
inside_xvfb=0
while (($#)); do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --cycles) cycles=$2; shift 2 ;;
        --minute-ms) minute_ms=$2; shift 2 ;;
        --every) every=$2; shift 2 ;;
        --csv) csv=$2; shift 2 ;;
        --inside-xvfb) inside_xvfb=1; shift ;;
        *) echo "usage: $0 [--build DIR] [--cycles N] [--minute-ms MS] [--every S] [--csv FILE]" >&2; exit 2 ;;
    esac
done
[[ $cycles =~ ^[0-9]+$ && $minute_ms =~ ^[0-9]+$ && $minute_ms -gt 0 ]] || { echo "soak: --cycles and --minute-ms take whole numbers" >&2; exit 2; }
[[ -n $csv ]] || csv="$PWD/soak-$(date +%Y%m%d-%H%M%S).csv"
csv=$(realpath -m "$csv")

here=$(cd "$(dirname "$0")/.." && pwd)
if ((inside_xvfb == 0)); then
    [[ -f "$build/build.ninja" || -f "$build/Makefile" ]] \
        || cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target zorvane zorvane-sandbox
    build=$(cd "$build" && pwd)
    # A virtual display of its own, so the run neither needs nor disturbs a desktop.
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --build "$build" --cycles "$cycles" \
        --minute-ms "$minute_ms" --every "$every" --csv "$csv" --inside-xvfb
fi
export QT_QPA_PLATFORM=xcb

source "$here/scripts/sandbox-lib.sh"

run=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-soak.XXXXXX")
sandbox_pid=""
program_pid=""
cleanup() {
    [[ -n $program_pid ]] && kill "$program_pid" 2>/dev/null || true
    [[ -n $sandbox_pid ]] && kill "$sandbox_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$run"
}
trap cleanup EXIT

start_sandbox "$build" "$run" || exit 1
# The maker's host is a closed port: the once-per-run version check fails
# quietly instead of leaving the maker's message window open for the run.
write_sandbox_settings "$run" "http://127.0.0.1:9/" "$minute_ms"

last_seller=soak-seller-15
{
    printf '%s\r\n' gadget-garage dutch-dollar-deals attic-estate-sales quiet-collector flaky-phil
    for i in $(seq -w 1 15); do printf 'soak-seller-%s\r\n' "$i"; done
} >"$run/program/Accounts.txt"
for i in 1 2 3 4 5; do printf 'watcher%s@sandbox.test\r\n' "$i"; done >"$run/program/EmailAddresses.txt"
cp "$run/program/Accounts.txt" "$run/accounts.before"
cp "$run/program/EmailAddresses.txt" "$run/addresses.before"

export XDG_CONFIG_HOME="$run/config" XDG_DATA_HOME="$run/data"
"$run/program/zorvane" >"$run/program.log" 2>&1 &
program_pid=$!

# A cycle has ended once the last seller's page 1 has been asked for.
cycles_done() { grep -c "userid=$last_seller&include=0&since=1&page=1&" "$run/sandbox.log" || true; }
sample() {
    local rss fds
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$program_pid/status" 2>/dev/null) || return 1
    fds=$(find "/proc/$program_pid/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)
    printf '%s,%s,%s,%s,%s\n' "$SECONDS" "$(cycles_done)" "$rss" "$fds" \
        "$(find "$run/mail" -type f | wc -l)" >>"$csv"
}

echo "seconds,cycles,rss_kb,fds,mails" >"$csv"
echo "soak: $cycles cycles, a minute of $minute_ms ms, samples every $every s into $csv"
start=$SECONDS
while (($(cycles_done) < cycles)); do
    kill -0 "$program_pid" 2>/dev/null || { cat "$run/program.log" >&2; echo "soak: the program ended early" >&2; exit 1; }
    sample || true
    sleep "$every"
done
sample
elapsed=$((SECONDS - start))

# The orderly way out (as at the end of a desktop session): lists and
# settings are saved.
kill -TERM "$program_pid"
wait "$program_pid" && status=0 || status=$?
program_pid=""
((status == 0)) || { echo "soak: the program ended with status $status" >&2; exit 1; }
cmp -s "$run/accounts.before" "$run/program/Accounts.txt" || { echo "soak: the seller list changed" >&2; exit 1; }
cmp -s "$run/addresses.before" "$run/program/EmailAddresses.txt" || { echo "soak: the recipient list changed" >&2; exit 1; }

echo "soak: $(cycles_done) cycles in ${elapsed} s, $(find "$run/mail" -type f | wc -l) mails caught; lists intact"
# First, last, min and max of both curves, and the rise over the run once
# the first tenth of the cycles has warmed the program up.
awk -F, -v warm=$((cycles / 10)) '
    NR == 1 { next }
    { n++; rss[n] = $3; fds[n] = $4; cyc[n] = $2
      if (n == 1 || $3 < rmin) rmin = $3; if (n == 1 || $3 > rmax) rmax = $3
      if (n == 1 || $4 < fmin) fmin = $4; if (n == 1 || $4 > fmax) fmax = $4
      if (!w && $2 >= warm) { w = n } }
    END {
      printf "rss_kb: first %d last %d min %d max %d", rss[1], rss[n], rmin, rmax
      if (w) printf "  (after cycle %d: %d -> %d, %+d kB)", cyc[w], rss[w], rss[n], rss[n] - rss[w]
      printf "\nfds:    first %d last %d min %d max %d", fds[1], fds[n], fmin, fmax
      if (w) printf "  (after cycle %d: %d -> %d)", cyc[w], fds[w], fds[n]
      printf "\nsamples: %d\n", n
    }' "$csv"
