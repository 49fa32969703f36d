#!/usr/bin/env bash
# Runs Zorvane against the sandbox: a simulated auction site and a mail
# catcher on this computer (build/zorvane-sandbox). The program gets a
# settings folder and a program folder of its own, so a real configuration
# is never touched; two sellers, one recipient and a sender are entered.
#
#   scripts/sandbox-demo.sh [--build DIR]          you press Check Now
#   scripts/sandbox-demo.sh [--build DIR] --auto   the script presses it twice,
#                                                  checks the mail and ends
#
# Without a display the program runs on a virtual one (xvfb-run) and the
# script presses Check Now itself.
set -euo pipefail
[[ -n ${ZORVANE_TRACE:-} ]] && set -x

build=build
auto=0
inside_xvfb=0
while (($#)); do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --auto) auto=1; shift ;;
        --inside-xvfb) inside_xvfb=1; shift ;;
        *) echo "usage: $0 [--build DIR] [--auto]" >&2; exit 2 ;;
    esac
done
build=$(cd "$build" && pwd)

# The automatic run always uses a virtual display of its own, so that it
# neither needs nor disturbs the user's desktop.
if ((inside_xvfb == 0)) && { ((auto)) || [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; }; then
    ((auto)) || echo "Zorvane: no display found; running on a virtual display and pressing Check Now for you."
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --build "$build" --auto --inside-xvfb
fi
if ((inside_xvfb)); then
    export QT_QPA_PLATFORM=xcb
fi

source "$(dirname "$0")/sandbox-lib.sh"

run=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-sandbox.XXXXXX")
sandbox_pid=""
program_pid=""
tail_pid=""
cleanup() {
    [[ -n $program_pid ]] && kill "$program_pid" 2>/dev/null || true
    [[ -n $sandbox_pid ]] && kill "$sandbox_pid" 2>/dev/null || true
    [[ -n $tail_pid ]] && kill "$tail_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$run"
}
trap cleanup EXIT

start_sandbox "$build" "$run"
write_sandbox_settings "$run" "$site"
printf 'gadget-garage\r\ndutch-dollar-deals\r\n' >"$run/program/Accounts.txt"
printf 'you@sandbox.test\r\n' >"$run/program/EmailAddresses.txt"

export XDG_CONFIG_HOME="$run/config" XDG_DATA_HOME="$run/data"

if ((auto == 0)); then
    echo "Zorvane: the sandbox runs at $site; its mail appears below."
    echo "Zorvane: press Check Now once (the first check learns the auctions and sends a welcome),"
    echo "         then again a moment later to see alerts. Close the window to end."
    tail -n +1 -f "$run/sandbox.log" &
    tail_pid=$!
    "$run/program/zorvane" || true
    echo "Zorvane: the sandbox run has ended."
    exit 0
fi

# The script presses Check Now itself, as a user would: Alt+C on the window.
mail_count() { find "$run/mail" -name '*.eml' | wc -l; }
mails_at_least() { (($(mail_count) >= $1)); }
alerts_arrived() { grep -l -E '^Subject: (gadget-garage|dutch-dollar-deals) Auction Update' "$run/mail"/*.eml >/dev/null 2>&1; }
press_check_now() {
    local window
    window=$(xdotool search --onlyvisible --name '^Zorvane$' 2>/dev/null | head -n 1) || return 0
    [[ -n $window ]] || return 0
    xdotool windowfocus "$window" 2>/dev/null || true
    xdotool key --window "$window" alt+c 2>/dev/null || true
}
# The sandbox's maker sends one harmless message at the first check; it
# stands in a modal window until it is closed.
dismiss_maker_message() {
    local window
    window=$(xdotool search --onlyvisible --name '^Pellridge Message$' 2>/dev/null | head -n 1) || return 0
    [[ -n $window ]] || return 0
    xdotool windowfocus "$window" 2>/dev/null || true
    xdotool key --window "$window" Return 2>/dev/null || true
}

"$run/program/zorvane" >"$run/program.log" 2>&1 &
program_pid=$!
wait_for 30 xdotool search --onlyvisible --name '^Zorvane$' >/dev/null || { echo "Zorvane: the window did not appear." >&2; exit 1; }

press_check_now
wait_for 60 mails_at_least 1 || { cat "$run/sandbox.log"; echo "Zorvane: no welcome mail arrived." >&2; exit 1; }
# The second check compares and alerts. Check Now is pressed again now and
# then: a press while the first check still runs, or while the maker's
# message stands in front, does nothing.
deadline=$((SECONDS + 90))
next_press=$SECONDS
until alerts_arrived; do
    if ((SECONDS >= deadline)); then
        cat "$run/sandbox.log"
        echo "Zorvane: no alerts arrived." >&2
        exit 1
    fi
    dismiss_maker_message
    if ((SECONDS >= next_press)); then
        press_check_now
        next_press=$((SECONDS + 10))
    fi
    sleep 0.3
done
sleep 1
cat "$run/sandbox.log"

kill -TERM "$program_pid"
wait "$program_pid" && status=0 || status=$?
program_pid=""
if ((status != 0)); then
    echo "Zorvane: the program ended with status $status." >&2
    exit 1
fi
grep -q '^SMTP=127.0.0.1' "$run/config/Zorvane/Zorvane.conf" || { echo "Zorvane: settings were not saved." >&2; exit 1; }
echo "Zorvane: sandbox run passed: $(mail_count) mails arrived (a welcome, then alerts)."
