#!/usr/bin/env bash
# A user's first mail settings, end to end: the real program on a virtual
# display, the sender, server, STARTTLS, port, user name and password typed
# into the Send From tab with the keyboard, Send Test Message pressed, and
# the message checked where a real SMTP server (aiosmtpd, STARTTLS and
# sign-in, with a throw-away certificate) stored it.
#
#   tests/e2e/send-test-message.sh --build DIR [--screenshot FILE]
set -euo pipefail

build=build
screenshot=""
inside_xvfb=0
while (($#)); do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --screenshot) screenshot=$2; shift 2 ;;
        --inside-xvfb) inside_xvfb=1; shift ;;
        *) echo "usage: $0 [--build DIR] [--screenshot FILE]" >&2; exit 2 ;;
    esac
done
build=$(cd "$build" && pwd)
[[ -z $screenshot ]] || screenshot=$(realpath -m "$screenshot")
if ((inside_xvfb == 0)); then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --build "$build" ${screenshot:+--screenshot "$screenshot"} --inside-xvfb
fi
export QT_QPA_PLATFORM=xcb
source "$(dirname "$0")/../../scripts/sandbox-lib.sh"

run=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-sendtest.XXXXXX")
program_pid=""
cleanup() {
    [[ -n $program_pid ]] && kill "$program_pid" 2>/dev/null || true
    exec 3<&- 2>/dev/null || true
    wait 2>/dev/null || true
    [[ -n ${KEEP:-} ]] || rm -rf "$run"
}
trap cleanup EXIT
fail() { echo "send-test-message: $*" >&2; exit 1; }

mkdir -p "$run/store" "$run/program" "$run/config/Zorvane" "$run/data"
cp "$build/zorvane" "$run/program/"
password='app pass 123'
# The server runs until its standard input (this script's pipe) closes.
touch "$run/smtp.out"
exec 3> >(exec /usr/bin/python3 "$(dirname "$0")/../support/smtp_server.py" "$run/store" --listen starttls \
              --user me@example.com --password "$password" >"$run/smtp.out" 2>&1)
wait_for 20 grep -q '^ready' "$run/smtp.out" || { cat "$run/smtp.out"; fail "the SMTP server did not start"; }
port=$(sed -n 's/^starttls \([0-9]*\)$/\1/p' "$run/smtp.out")

printf '[Main]\nFromAddress=me@example.com\nSMTP=localhost\n\n[Network]\nTrustedCertificates=%s\n' \
    "$run/store/certs/ca.pem" >"$run/config/Zorvane/Zorvane.conf"
printf 'seller1\r\n' >"$run/program/Accounts.txt"
printf 'me@example.com\r\n' >"$run/program/EmailAddresses.txt"
export XDG_CONFIG_HOME="$run/config" XDG_DATA_HOME="$run/data" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
"$run/program/zorvane" >"$run/program.log" 2>&1 &
program_pid=$!
window_of() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
wait_for 30 window_of '^Zorvane$' >/dev/null || fail "the window did not appear"
window=$(window_of '^Zorvane$')

keys() { xdotool key --window "$window" "$@"; sleep 0.2; }
xdotool windowfocus "$window"; sleep 0.3
keys alt+r                               # the Send From tab
keys alt+i Down                          # Security: STARTTLS
keys alt+o ctrl+a; xdotool type --delay 10 "$port"
keys alt+n; xdotool type --delay 10 'me@example.com'
keys alt+w; xdotool type --delay 10 "$password"
keys alt+t                               # Send Test Message
# Without a keyring the program first asks whether to keep the password in
# its settings file; the answer here is no (Escape).
sleep 1
xdotool key Escape
wait_for 20 test -f "$run/store/1.json" || fail "no message reached the server"
wait_for 10 window_of '^Zorvane Test Message$' >/dev/null || fail "the test window is not shown"
sleep 0.5
if [[ -n $screenshot ]]; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    import -window root -crop "$((WIDTH + X))x$((HEIGHT + Y))+0+0" +repage "$screenshot"
fi
xdotool key Return; sleep 0.3

grep -q '"tls": true' "$run/store/1.json" || fail "the message did not come over TLS: $(cat "$run/store/1.json")"
grep -q '"user": "me@example.com"' "$run/store/1.json" || fail "no sign-in: $(cat "$run/store/1.json")"
grep -q '^Subject: Zorvane Test Message' "$run/store/1.eml" || fail "not the test message"

kill -TERM "$program_pid"
wait "$program_pid" && status=0 || status=$?
program_pid=""
((status == 0)) || fail "the program ended with status $status"
grep -q '^SmtpSecurity=StartTLS' "$run/config/Zorvane/Zorvane.conf" || fail "the settings were not saved"
if grep -q "$password" "$run/config/Zorvane/Zorvane.conf" "$run/program.log" "$run/data/Zorvane/Zorvane/zorvane.log"; then
    grep -l "$password" "$run/config/Zorvane/Zorvane.conf" "$run/program.log" "$run/data/Zorvane/Zorvane/zorvane.log" >&2
    fail "the password was written where it must not be"
fi
echo "send-test-message: passed: the test message went over STARTTLS with sign-in."
