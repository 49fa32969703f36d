#!/usr/bin/env bash
# Zorvane's cost beside urlwatch's (Debian's page watcher, a Python program)
# on the same listing pages, served by one local HTTP server.
#
#   bench/versus-urlwatch.sh [--build DIR] [--repeat N] [--no-urlwatch]
#                            [--headless [--minute-ms MS]] [--perf FILE [--perf-round R]]
#                            [--sellers N] [--pages-per-seller N]
#                            [--changes-per-page N] [--timeout S] [--settle-ms MS]
#
#   --build DIR          build folder (default: build beside this script's
#                        folder); zorvane, zorvane-sandbox, bench_pages and
#                        bench_smtpfloor are built there first
#   --repeat N           run everything N times, a fresh program and a fresh
#                        urlwatch cache each time, and print every run
#   --no-urlwatch        only the program: its CPU per page and per alert
#                        mail session (urlwatch need not be installed)
#   --headless           drive `zorvane --headless --interval 15` instead of
#                        the window: checks start by themselves, one at start
#                        and one every 15 minutes of MS milliseconds
#                        (--minute-ms, default 200: 3 s between checks)
#   --perf FILE          perf record (with call graphs) of the program in
#                        the first run's unchanged round (--perf-round:
#                        learn, unchanged or changes); that round's figures
#                        then include perf's own cost
#   --sellers N, --pages-per-seller N   the pages (default 10 x 10 = 100)
#   --changes-per-page N auctions with a new bid on every page in the changes
#                        round (default 28: 2,800 alert sessions)
#   --timeout S          longest a round may take (default 300)
#   --settle-ms MS       how long the program's CPU time must stand still
#                        before a round counts as ended (default 500)
#
# The pages. bench_pages writes 10 sellers x 10 pages of 100 auctions each
# (about 55 kB a page) in the sandbox's page layout, once as first seen
# ("before") and once after a wave of bids ("after"): 28 auctions on every
# page have a higher price and a new high bidder. Ten sellers of ten pages
# rather than a hundred sellers of one page: the program then reads pages
# the way it does for a big seller (following the next-page link) and still
# compares and mails per seller, and urlwatch gets 100 jobs either way.
# zorvane-sandbox --pages answers the program's listing addresses from those
# files, and urlwatch's jobs are the very same 100 addresses: one server, the
# same bytes, each answer written in one piece. The server sends no ETag or
# Last-Modified, so urlwatch fetches every page whole, as the program does.
#
# The rounds, each run: the program's three, then urlwatch's three:
#   learn      the "before" pages, first seen: the program keeps them as its
#              baseline and sends its welcome mail (1 session); urlwatch
#              reports every page as new
#   unchanged  the same pages again: nothing to report
#   changes    the "after" pages: the program mails one alert per changed
#              auction (detailed, one message per auction, one recipient:
#              2,800 loopback SMTP sessions to the sandbox's mail catcher);
#              urlwatch diffs the 100 changed pages
# Between the program's rounds and urlwatch's, bench_smtpfloor speaks the
# program's plain SMTP dialogue to the same mail catcher as many times as
# the changes round mailed, twice: a blocking client that does nothing else,
# then one that also writes and removes an outbox file and writes the log
# and status lines of a session.
# The program runs with a settings folder and a program folder of its own
# (XDG_CONFIG_HOME, XDG_DATA_HOME, a copy of the binary), on a virtual
# display (xvfb-run, QT_QPA_PLATFORM=xcb); Check Now is pressed with its
# access key (xdotool key alt+c). urlwatch runs once per round as
#   urlwatch --urls jobs.yaml --cache cache.db --config cfg.yaml
# with a cache, config and home of its own; its stdout reporter keeps its
# defaults (diff details included, colour off) and writes into a file.
#
# When a round has ended (nothing is guessed with fixed sleeps):
#   1. the server has answered all 100 pages of the round (its log has one
#      line per answered request; any answer but 200 is an error);
#   2. the mail catcher has caught exactly the expected sessions (1, 0,
#      2,800; one log line per message);
#   3. then the program's CPU time (/proc/PID/stat utime+stime, read every
#      50 ms) has not moved for --settle-ms; the counts are checked again
#      and must be exact;
#   4. in --headless mode, the program has by then printed one more
#      "Idle.  Minutes to next check:" line on its standard error.
# Wall time runs from the round's first page answered to step 2 (the
# synchronous start of a check before its first request is under 1 ms, the
# press of Check Now by xdotool takes longer); CPU is read before the press
# (--headless: while the program waits for the round's check; for the learn
# round, from the program's start, so it includes the start-up) and after
# steps 3 and 4.
# Every wait is bounded (--timeout); a round that does not end in time, a
# program that ends early, a wrong count of pages or sessions, a urlwatch
# that fails or reports the wrong number of pages: each stops the run with
# a message saying which.
#
# What is reported, per round: CPU milliseconds (user and system, all
# threads) in all and per page; wall time; peak memory (the program: VmHWM
# from /proc/PID/status, its peak so far; urlwatch: the round's maxrss); the
# ratio of the CPU per page, program over urlwatch. And the program's CPU
# per alert session: (changes round - unchanged round) / sessions, that is
# without the page fetching and comparing it does in every round anyway (the
# whole changes round divided by the sessions is printed beside it), and
# under it the floor: bench_smtpfloor's CPU (getrusage, user and system) a
# session, without and with the outbox file and log lines. Each
# urlwatch round is a whole process, start-up included, as urlwatch is used
# (from cron); its start-up alone (no jobs) is printed, and the unchanged
# round without it, for what a resident urlwatch would spend.
#
# CPU, to the nanosecond (bench/measure.py): the program's from its process
# CPU-time clock, read before and after each round; it is the total that
# /proc/PID/stat shows as utime+stime in 10 ms ticks (too coarse for a round
# of 80 ms: the ratio moved by a third from the rounding alone), and the
# script warns if the two disagree. urlwatch's from wait4()'s resource usage
# of its process (getrusage), with its maxrss.
#
# Needs: xvfb-run, xdotool (window mode), python3, urlwatch:
# bench/install-deps.sh installs them.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build
repeat=1
with_urlwatch=1
headless=0
minute_ms=200
perf_file=""
perf_round=unchanged
sellers=10
pages_per_seller=10
changes_per_page=28
round_timeout=300
settle_ms=500
inside_xvfb=0
arguments=("$@")

usage() {
    sed -n '/^#   bench\/versus-urlwatch.sh/,/^#$/p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}
whole() { [[ $2 =~ ^[0-9]+$ && $2 -ge $3 ]] || { echo "versus-urlwatch: $1 takes a whole number from $3 up, not \"$2\"" >&2; exit 2; }; }
while (($#)); do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --repeat) whole "$1" "$2" 1; repeat=$2; shift 2 ;;
        --no-urlwatch) with_urlwatch=0; shift ;;
        --headless) headless=1; shift ;;
        --minute-ms) whole "$1" "$2" 1; minute_ms=$2; shift 2 ;;
        --perf) perf_file=$(realpath -m "$2"); shift 2 ;;
        --perf-round) [[ $2 =~ ^(learn|unchanged|changes)$ ]] || usage; perf_round=$2; shift 2 ;;
        --sellers) whole "$1" "$2" 1; sellers=$2; shift 2 ;;
        --pages-per-seller) whole "$1" "$2" 1; pages_per_seller=$2; shift 2 ;;
        --changes-per-page) whole "$1" "$2" 0; changes_per_page=$2; shift 2 ;;
        --timeout) whole "$1" "$2" 1; round_timeout=$2; shift 2 ;;
        --settle-ms) whole "$1" "$2" 100; settle_ms=$2; shift 2 ;;
        --inside-xvfb) inside_xvfb=1; shift ;;
        -h|--help) usage ;;
        *) echo "versus-urlwatch: unknown option \"$1\"" >&2; usage ;;
    esac
done
[[ $build = /* ]] || build=$PWD/$build

keep_work=0
fail() {
    echo "versus-urlwatch: $*" >&2
    [[ -z ${work:-} ]] || { keep_work=1; echo "versus-urlwatch: the run's files are kept in $work" >&2; }
    exit 1
}

if ((inside_xvfb == 0)); then
    missing=()
    ((with_urlwatch == 0)) || command -v urlwatch >/dev/null || missing+=(urlwatch)
    command -v python3 >/dev/null || missing+=(python3)
    ((headless)) || command -v xvfb-run >/dev/null || missing+=(xvfb-run)
    ((headless)) || command -v xdotool >/dev/null || missing+=(xdotool)
    [[ -z $perf_file ]] || command -v perf >/dev/null || missing+=(perf)
    ((${#missing[@]} == 0)) || fail "missing: ${missing[*]}; bench/install-deps.sh installs them (perf: package linux-perf)"
    [[ -f "$build/build.ninja" || -f "$build/Makefile" ]] \
        || cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target zorvane zorvane-sandbox bench_pages bench_smtpfloor >"${TMPDIR:-/tmp}/versus-urlwatch-build.log" 2>&1 \
        || { cat "${TMPDIR:-/tmp}/versus-urlwatch-build.log" >&2; fail "the build failed"; }
    if ((headless == 0)); then
        # A virtual display of its own: the run neither needs nor disturbs a desktop.
        exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "${arguments[@]}" --inside-xvfb
    fi
fi
# The headless program never opens a display.
((headless)) || export QT_QPA_PLATFORM=xcb
# Everything here is on 127.0.0.1; a proxy from the environment must not
# carry the pages (urlwatch's requests would use it).
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
export no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost

source "$here/scripts/sandbox-lib.sh"

# In memory when the machine offers it: the catcher's thousands of mail
# files and urlwatch's database then never wait for a disk.
base=${TMPDIR:-/tmp}
[[ -d /dev/shm && -w /dev/shm ]] && base=/dev/shm
work=$(mktemp -d "$base/zorvane-versus.XXXXXX")

# Waiting without a fork: a read with a time-out on a pipe nobody writes to.
exec {snooze_fd}<> <(:)
snooze() { read -r -t "$1" -u "$snooze_fd" _ || true; }
now_us() { now=${EPOCHREALTIME/./}; }

# Waits for a child to end, SIGKILL after $2 seconds. Returns its exit status.
await_child() {
    local pid=$1 seconds=$2 deadline
    now_us; deadline=$((now + seconds * 1000000))
    while kill -0 "$pid" 2>/dev/null; do
        now_us
        if ((now >= deadline)); then
            echo "versus-urlwatch: process $pid did not end within $seconds s; killed" >&2
            kill -KILL "$pid" 2>/dev/null || true
            break
        fi
        snooze 0.05
    done
    wait "$pid" 2>/dev/null
}
stop_child() { kill -TERM "$1" 2>/dev/null || true; await_child "$@"; }

sandbox_pid=""
program_pid=""
perf_pid=""
urlwatch_pid=""
log_fd=""
cleanup() {
    local pid
    for pid in "$perf_pid" "$urlwatch_pid" "$program_pid" "$sandbox_pid"; do
        [[ -z $pid ]] || stop_child "$pid" 10 || true
    done
    ((keep_work)) || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

clk_tck=$(getconf CLK_TCK)
python=python3
[[ -x /usr/bin/python3 ]] && python=/usr/bin/python3
measure() { "$python" "$here/bench/measure.py" "$@"; }
pages=$((sellers * pages_per_seller))
settle_us=$((settle_ms * 1000))

"$build/bench/bench_pages" --out "$work/pages" --sellers "$sellers" --pages-per-seller "$pages_per_seller" \
    --changes-per-page "$changes_per_page" >"$work/pages.txt" || fail "bench_pages failed"
changed=$(awk '$1 == "changed" {print $2}' "$work/pages.txt")
urlwatch_version=""
((with_urlwatch == 0)) || urlwatch_version=$(urlwatch --version | awk '{print $2}')
page_bytes=$(awk '$1 == "page-bytes" {print $2}' "$work/pages.txt")

# --- the server's log: answered requests and caught mail, read as it grows

requests=0
bad_requests=0
mails=0
log_rest=""
open_log() {
    requests=0 bad_requests=0 mails=0 log_rest=""
    exec {log_fd}<"$run/sandbox.log"
}
poll_log() {
    local line
    while IFS= read -r -u "$log_fd" line; do
        line=$log_rest$line
        log_rest=""
        case $line in
            "site: GET "*" -> 200") ((++requests)) ;;
            "site: "*" -> "*) ((++requests)); ((++bad_requests)) ;;
            "mail "[0-9]*".eml: "*) ((++mails)) ;;
        esac
    done
    # A line still being written is finished at the next read.
    log_rest+=$line
}

# --- the program

cpu=0
read_cpu() {
    local stat fields
    read -r stat <"/proc/$program_pid/stat" || fail "the program has ended"
    # The name in brackets may hold blanks; utime and stime are fields 14
    # and 15 of the line, 12 and 13 after it.
    read -r -a fields <<<"${stat##*) }"
    cpu=$((fields[11] + fields[12]))
}
peak_kb() {
    local key value rest
    while read -r key value rest; do
        [[ $key == VmHWM: ]] && { echo "$value"; return; }
    done <"/proc/$program_pid/status"
    echo 0
}
alive() { kill -0 "$program_pid" 2>/dev/null || { tail -n 20 "$run/program.log" >&2; fail "the program ended early ($1)"; }; }
idle_lines() { grep -c 'Idle\.  Minutes to next check:' "$run/program.log" || true; }

write_settings() {
    {
        printf '[Main]\nFromAddress=zorvane@bench.test\nSMTP=127.0.0.1\n'
        printf 'NewAuctions=1\nChangesToAuctions=1\nDetailedMessages=1\nBriefMessages=0\nManyMessages=1\nOneMessage=0\n\n'
        # The maker's host is a closed port: the once-per-run version check
        # fails quietly instead of opening the maker's message window.
        printf '[Network]\nListingHost=%s\nItemHost=%s\nMakerHost=http://127.0.0.1:9/\nClickThroughPrefix=%sgo?loc=\nSmtpPort=%s\n' \
            "$site" "$site" "$site" "$smtp_port"
        ((headless == 0)) || printf '\n[Testing]\nMinuteMilliseconds=%s\n' "$minute_ms"
    } >"$run/config/Zorvane/Zorvane.conf"
    for s in $(seq -f '%03g' 1 "$sellers"); do printf 'bench-seller-%s\r\n' "$s"; done >"$run/program/Accounts.txt"
    printf 'you@bench.test\r\n' >"$run/program/EmailAddresses.txt"
}

start_program() {
    if ((headless)); then
        "$run/program/zorvane" --headless --interval 15 >"$run/program.log" 2>&1 &
    else
        "$run/program/zorvane" >"$run/program.log" 2>&1 &
    fi
    program_pid=$!
}

window=""
press_check_now() {
    if [[ -z $window ]]; then
        window=$(timeout 10 xdotool search --onlyvisible --name '^Zorvane$' 2>/dev/null | head -n 1) || true
        [[ -n $window ]] || return 0
    fi
    timeout 10 xdotool windowfocus "$window" 2>/dev/null || true
    timeout 10 xdotool key --window "$window" alt+c 2>/dev/null || true
}

# Points the server at a set of pages: before or after.
serve() { ln -sfn "$work/pages/$1" "$run/served"; }

# One round of the program. Sets r_cpu (ticks), r_wall (us), r_peak (kB).
# Arguments: round name, its number (1 to 3), the pages, the sessions expected.
program_round() {
    local name=$1 number=$2 set=$3 expected=$4
    local deadline req0 mail0 idle0=0 cpu0 ns0 ns1 t0 next_press since last
    poll_log
    req0=$requests mail0=$mails
    ((headless == 0 || number == 1)) || idle0=$(idle_lines)
    if ((headless)) && ((number > 1)); then
        # The check starts by itself; the pages must change before it does.
        serve "$set"
        poll_log
        ((requests == req0)) || fail "the $name round's check began before its pages were in place; use a longer --minute-ms"
    else
        serve "$set"
    fi
    if [[ -n $perf_file && $name == "$perf_round" && $run_number == 1 && -n $program_pid ]]; then
        # Qt's libraries keep no frame pointers: the call graphs come from
        # the stack copies (dwarf), fewer of them in the long changes round.
        local hz=4999
        [[ $name != changes ]] || hz=999
        perf record -q -F "$hz" --call-graph dwarf,16384 -p "$program_pid" -o "$perf_file" >"$work/perf.log" 2>&1 &
        perf_pid=$!
        snooze 1   # perf takes a moment to attach
    fi
    now_us; deadline=$((now + round_timeout * 1000000))
    if ((headless)); then
        if ((number == 1)); then
            start_program
            cpu0=0 ns0=0 t0=$now
            # The first check starts with the program; without one soon, the
            # program does not know --headless.
            until poll_log; ((requests > req0)); do
                alive "$name"; now_us
                ((now < t0 + 30000000)) || fail "no check began within 30 s of starting zorvane --headless; does this build have --headless?"
                snooze 0.01
            done
            now_us; t0=$now
        else
            read_cpu; cpu0=$cpu; ns0=$(measure clock "$program_pid")
            until poll_log; ((requests > req0)); do
                alive "$name"; now_us
                ((now < deadline)) || fail "the $name round did not begin within $round_timeout s"
                snooze 0.01
            done
            now_us; t0=$now
        fi
    else
        read_cpu; cpu0=$cpu; ns0=$(measure clock "$program_pid")
        next_press=0
        # A press the window does not take (not yet focused, say) is repeated;
        # a press while a check runs does nothing.
        until poll_log; ((requests > req0)); do
            alive "$name"; now_us
            ((now < deadline)) || fail "Check Now started no check within $round_timeout s ($name round)"
            if ((now >= next_press)); then
                press_check_now
                next_press=$((now + 5000000))
            fi
            snooze 0.01
        done
        now_us; t0=$now
    fi
    until poll_log; ((requests >= req0 + pages && mails >= mail0 + expected)); do
        alive "$name"; now_us
        ((now < deadline)) || fail "the $name round did not end within $round_timeout s: $((requests - req0)) of $pages pages answered, $((mails - mail0)) of $expected mail sessions caught"
        snooze 0.02
    done
    now_us; r_wall=$((now - t0))
    read_cpu; last=$cpu; now_us; since=$now
    while ((now - since < settle_us)); do
        alive "$name"
        ((now < deadline)) || fail "the program's CPU time did not stand still after the $name round within $round_timeout s"
        snooze 0.05
        read_cpu; now_us
        ((cpu == last)) || { last=$cpu; since=$now; }
    done
    # By now the status line has long been written.
    ((headless == 0 || $(idle_lines) > idle0)) \
        || fail "the program printed no \"Idle.  Minutes to next check:\" line on its standard error after the $name round; does this build have --headless?"
    if [[ -n $perf_pid ]]; then
        # perf writes its file on SIGINT.
        kill -INT "$perf_pid" 2>/dev/null || true
        await_child "$perf_pid" 30 || true
        perf_pid=""
    fi
    poll_log
    ((bad_requests == 0)) || fail "$bad_requests requests were not answered with 200 (see the server's log)"
    ((requests == req0 + pages)) || fail "the $name round asked for $((requests - req0)) pages, not $pages"
    ((mails == mail0 + expected)) || fail "the $name round gave $((mails - mail0)) mail sessions, not $expected"
    ns1=$(measure clock "$program_pid")
    r_cpu=$(((ns1 - ns0) / 1000000))
    r_peak=$(peak_kb)
    # The tick count and the clock are the same total; they differ by the
    # ticks' rounding only.
    local ticks_ms=$(((cpu - cpu0) * 1000 / clk_tck))
    ((r_cpu - ticks_ms <= 25 && ticks_ms - r_cpu <= 25)) \
        || echo "versus-urlwatch: $name round: CPU clock $r_cpu ms, /proc/$program_pid/stat $ticks_ms ms" >&2
}

# The orderly way out, as at the end of a desktop session.
stop_program() {
    local status=0
    stop_child "$program_pid" 20 || status=$?
    program_pid=""
    ((status == 0)) || echo "versus-urlwatch: the program ended with status $status" >&2
}

# --- the floor: the same SMTP sessions from the least possible client

# Runs bench_smtpfloor for the changes round's sessions against the catcher
# the program used. Sets f_cpu (ms a session) and f_wall (ms a session).
# Arguments: what it is called in messages, then its further options.
floor_run() {
    local what=$1 mail0 out deadline
    shift
    poll_log; mail0=$mails
    out=$(timeout "$round_timeout" "$build/bench/bench_smtpfloor" "$smtp_port" "$changed" "$@") \
        || fail "bench_smtpfloor ($what) failed or did not end within $round_timeout s"
    f_cpu=$(sed -n 's/.*, \([0-9.]*\) ms CPU a session .*/\1/p' <<<"$out")
    f_wall=$(sed -n 's/.*), \([0-9.]*\) ms wall$/\1/p' <<<"$out")
    [[ -n $f_cpu && -n $f_wall ]] || fail "bench_smtpfloor ($what) printed no figures: $out"
    # The catcher logs a message as it accepts it; the wait is for a log
    # line still on its way.
    now_us; deadline=$((now + 10000000))
    until poll_log; ((mails >= mail0 + changed)); do
        now_us
        ((now < deadline)) || break
        snooze 0.02
    done
    ((mails == mail0 + changed)) || fail "bench_smtpfloor ($what) gave $((mails - mail0)) mail sessions, not $changed"
}

# --- urlwatch

write_urlwatch_files() {
    local uw=$run/urlwatch path seller page
    mkdir -p "$uw/home"
    : >"$uw/none.yaml"
    while IFS= read -r path; do
        seller=${path#*userid=} page=${path#*&page=}
        printf 'name: "%s page %s"\nurl: "%s%s"\n---\n' "${seller%%&*}" "${page%%&*}" "${site%/}" "$path"
    done <"$work/pages/paths.txt" >"$uw/jobs.yaml"
    # Only the stdout reporter, as installed (details and diffs), without
    # colour; its output goes to a file.
    printf 'report:\n  stdout:\n    enabled: true\n    color: false\n' >"$uw/cfg.yaml"
}

# One urlwatch process. Sets u_cpu (ms), u_wall (ms), u_peak (kB).
# Arguments: round name, the jobs file, the pages.
urlwatch_process() {
    local name=$1 jobs=$2 uw=$run/urlwatch wall cpu rss status
    # In the background, so that an interrupt is handled at once; the
    # measuring process passes SIGTERM on to urlwatch.
    HOME=$uw/home XDG_CONFIG_HOME=$uw/home XDG_CACHE_HOME=$uw/home \
        measure run "$round_timeout" "$uw/$name.usage" -- urlwatch --urls "$jobs" --cache "$uw/cache.db" \
        --config "$uw/cfg.yaml" --hooks "$uw/hooks.py" >"$uw/$name.out" 2>"$uw/$name.err" &
    urlwatch_pid=$!
    wait "$urlwatch_pid" || fail "could not run urlwatch (see $uw/$name.err)"
    urlwatch_pid=""
    read -r wall cpu rss status <"$uw/$name.usage" || fail "urlwatch's $name round: no figures"
    ((status != 124)) || fail "urlwatch's $name round did not end within $round_timeout s"
    ((status == 0)) || { tail -n 20 "$uw/$name.err" >&2; fail "urlwatch's $name round failed (status $status)"; }
    u_cpu=$((cpu / 1000000)) u_wall=$((wall / 1000000)) u_peak=$rss
}

# Arguments: round name, the pages, what every job must report (NEW,
# CHANGED, or nothing).
urlwatch_round() {
    local name=$1 set=$2 verb=$3 uw=$run/urlwatch req0 reported
    serve "$set"
    poll_log; req0=$requests
    urlwatch_process "$name" "$uw/jobs.yaml"
    poll_log
    ((bad_requests == 0)) || fail "$bad_requests requests were not answered with 200 (see the server's log)"
    ((requests == req0 + pages)) || fail "urlwatch's $name round asked for $((requests - req0)) pages, not $pages"
    ! grep -q '^ERROR: ' "$uw/$name.out" || fail "urlwatch reported errors in its $name round (see $uw/$name.out)"
    reported=$(grep -c '^\(NEW\|CHANGED\): ' "$uw/$name.out" || true)
    if [[ -n $verb ]]; then
        # One detail heading per job ("NEW: name ( url )").
        reported=$(grep -c "^$verb: " "$uw/$name.out" || true)
        ((reported == pages)) || fail "urlwatch reported $reported pages as $verb in its $name round, not $pages"
    else
        ((reported == 0)) || fail "urlwatch reported changes in its $name round, which had none"
    fi
}

# --- one run

declare -A z_cpu z_wall z_peak w_cpu w_wall w_peak
floor_cpu="-" floor_wall="-" outbox_cpu="-" outbox_wall="-"
summary=()
rounds=(learn unchanged changes)
declare -A round_pages=([learn]=before [unchanged]=before [changes]=after)
declare -A round_mails=([learn]=1 [unchanged]=0 [changes]=$changed)
declare -A round_verb=([learn]=NEW [unchanged]="" [changes]=CHANGED)

ms() { awk -v t="$1" -v d="$2" 'BEGIN {printf "%.2f", t / d}'; }
seconds() { awk -v t="$1" 'BEGIN {printf "%.2f", t / 1000}'; }
megabytes() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }

run_once() {
    run_number=$1
    run=$work/run$run_number
    mkdir -p "$run"
    serve before
    start_sandbox "$build" "$run" --pages "$run/served" --mail-body-lines 0 || fail "the server did not start"
    write_settings
    export XDG_CONFIG_HOME="$run/config" XDG_DATA_HOME="$run/data"
    open_log

    if ((headless == 0)); then
        start_program
        window=""
        now_us; local deadline=$((now + 30000000))
        until window=$(timeout 10 xdotool search --onlyvisible --name '^Zorvane$' 2>/dev/null | head -n 1) && [[ -n $window ]]; do
            alive "start-up"; now_us
            ((now < deadline)) || fail "the program's window did not appear within 30 s"
            snooze 0.1
        done
    fi
    local number=0 name
    for name in "${rounds[@]}"; do
        number=$((number + 1))
        program_round "$name" "$number" "${round_pages[$name]}" "${round_mails[$name]}"
        z_cpu[$name]=$r_cpu z_wall[$name]=$((r_wall / 1000)) z_peak[$name]=$r_peak
    done
    stop_program

    # After the program's counts were checked, and with the program gone:
    # only the floor's sessions reach the catcher, which urlwatch's rounds
    # do not use.
    floor_cpu="-" floor_wall="-" outbox_cpu="-" outbox_wall="-"
    if ((changed > 0)); then
        floor_run "a bare client"
        floor_cpu=$f_cpu floor_wall=$f_wall
        floor_run "with --outbox" --outbox "$run/floor-outbox"
        outbox_cpu=$f_cpu outbox_wall=$f_wall
    fi

    if ((with_urlwatch)); then
        write_urlwatch_files
        for name in "${rounds[@]}"; do
            urlwatch_round "$name" "${round_pages[$name]}" "${round_verb[$name]}"
            w_cpu[$name]=$u_cpu w_wall[$name]=$u_wall w_peak[$name]=$u_peak
        done
        urlwatch_process start-up "$run/urlwatch/none.yaml"
        startup_cpu=$u_cpu startup_wall=$u_wall
    fi
    stop_child "$sandbox_pid" 10 || true
    sandbox_pid=""
    exec {log_fd}<&-
    report
    rm -rf "$run"
}

report() {
    local name mode=window extra=""
    ((headless == 0)) || mode="headless, a minute of $minute_ms ms"
    [[ -z $perf_file || $run_number != 1 ]] || extra=" (perf attached in the $perf_round round)"
    printf '\nrun %d of %d: %d pages (%d sellers x %d pages of 100 auctions, %d bytes a page); program: %s%s\n' \
        "$run_number" "$repeat" "$pages" "$sellers" "$pages_per_seller" "$page_bytes" "$mode" "$extra"
    if ((with_urlwatch)); then
        printf '%-10s | %-38s | %-38s | %s\n' "" "Zorvane" "urlwatch $urlwatch_version" "CPU a page"
        printf '%-10s | %9s %9s %8s %9s | %9s %9s %8s %9s | %s\n' round "CPU ms" "ms/page" "wall s" "peak MB" \
            "CPU ms" "ms/page" "wall s" "peak MB" "Zorvane/urlwatch"
    else
        printf '%-10s | %-38s\n' "" "Zorvane"
        printf '%-10s | %9s %9s %8s %9s\n' round "CPU ms" "ms/page" "wall s" "peak MB"
    fi
    for name in "${rounds[@]}"; do
        printf '%-10s | %9d %9s %8s %9s' "$name" "${z_cpu[$name]}" "$(ms "${z_cpu[$name]}" "$pages")" \
            "$(seconds "${z_wall[$name]}")" "$(megabytes "${z_peak[$name]}")"
        if ((with_urlwatch)); then
            printf ' | %9d %9s %8s %9s | %s' "${w_cpu[$name]}" "$(ms "${w_cpu[$name]}" "$pages")" \
                "$(seconds "${w_wall[$name]}")" "$(megabytes "${w_peak[$name]}")" \
                "$(awk -v a="${z_cpu[$name]}" -v b="${w_cpu[$name]}" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "-"}')"
        fi
        printf '\n'
    done
    local net=$((z_cpu[changes] - z_cpu[unchanged]))
    local per_session="-" whole_round="-" wall_session="-"
    if ((changed > 0)); then
        per_session=$(awk -v n="$net" -v s="$changed" 'BEGIN {printf "%.2f", n / s}')
        whole_round=$(awk -v n="${z_cpu[changes]}" -v s="$changed" 'BEGIN {printf "%.2f", n / s}')
        wall_session=$(awk -v a="${z_wall[changes]}" -v b="${z_wall[unchanged]}" -v s="$changed" 'BEGIN {printf "%.2f", (a - b) / s}')
    fi
    printf 'Zorvane, a mail session: %s ms CPU ((changes - unchanged) / %d sessions; whole changes round / sessions: %s ms); %s ms wall\n' \
        "$per_session" "$changed" "$whole_round" "$wall_session"
    printf 'the same dialogue, a blocking client and nothing else: %s ms CPU a session, %s ms wall; with the outbox file and log lines: %s ms CPU, %s ms wall\n' \
        "$floor_cpu" "$floor_wall" "$outbox_cpu" "$outbox_wall"
    ((headless == 0)) || printf 'headless: the learn round includes the program'"'"'s start-up\n'
    if ((with_urlwatch)); then
        printf 'urlwatch start-up and exit alone (no jobs): %d ms CPU, %s s wall; counted in each of its rounds\n' \
            "$startup_cpu" "$(seconds "$startup_wall")"
        # What a resident urlwatch would spend: its round less its start-up.
        printf 'unchanged round without urlwatch'"'"'s start-up: urlwatch %s ms/page, Zorvane/urlwatch %s\n' \
            "$(ms $((w_cpu[unchanged] - startup_cpu)) "$pages")" \
            "$(awk -v a="${z_cpu[unchanged]}" -v b=$((w_cpu[unchanged] - startup_cpu)) 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "-"}')"
    fi
    local line
    line=$(printf 'run %d: unchanged %s ms/page' "$run_number" "$(ms "${z_cpu[unchanged]}" "$pages")")
    ((with_urlwatch == 0)) || line+=$(printf ' vs urlwatch %s (ratio %s)' "$(ms "${w_cpu[unchanged]}" "$pages")" \
        "$(awk -v a="${z_cpu[unchanged]}" -v b="${w_cpu[unchanged]}" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "-"}')")
    line+=$(printf '; %s ms CPU a mail session (floor %s, with the outbox %s)' "$per_session" "$floor_cpu" "$outbox_cpu")
    summary+=("$line")
}

for ((i = 1; i <= repeat; i++)); do
    run_once "$i"
done
if ((repeat > 1)); then
    printf '\n'
    printf '%s\n' "${summary[@]}"
fi
