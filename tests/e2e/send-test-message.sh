#!/usr/bin/env bash
# A user's first mail settings, end to end: the real program on a display,
# the sender, server, STARTTLS, port, user name and password typed into the
# Send From tab with the keyboard, Send Test Message pressed, and the message
# checked where a real SMTP server (aiosmtpd, STARTTLS and sign-in, with a
# throw-away certificate) stored it.
#
#   xvfb-run -a -s "-screen 0 1024x768x24" tests/e2e/send-test-message.sh BUILD_DIR [SCREENSHOT.png]
set -euo pipefail
build=$(cd "$1" && pwd)
screenshot=${2:+$(realpath -m "$2")}
export QT_QPA_PLATFORM=xcb
source "$(dirname "$0")/../../scripts/sandbox-lib.sh"
run=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-sendtest.XXXXXX")
# The server runs until its standard input, descriptor 3, closes.
trap 'kill %1 2>/dev/null || true; exec 3<&-; wait; [[ -n ${KEEP:-} ]] || rm -rf "$run"' EXIT
fail() { echo "send-test-message: $*" >&2; exit 1; }

mkdir -p "$run/store" "$run/program" "$run/config/Zorvane" "$run/data"
cp "$build/zorvane" "$run/program/"
password='app pass 123'
exec 3> >(exec /usr/bin/python3 "$(dirname "$0")/../support/smtp_server.py" "$run/store" --listen starttls \
              --user me@example.com --password "$password" >"$run/smtp.out" 2>&1)
wait_for 20 grep -qs '^ready' "$run/smtp.out" || fail "the SMTP server did not start: $(cat "$run/smtp.out")"
printf '[Main]\nFromAddress=me@example.com\nSMTP=localhost\n\n[Network]\nTrustedCertificates=%s\n' \
    "$run/store/certs/ca.pem" >"$run/config/Zorvane/Zorvane.conf"
printf 'seller1\r\n' >"$run/program/Accounts.txt"
printf 'me@example.com\r\n' >"$run/program/EmailAddresses.txt"
export XDG_CONFIG_HOME="$run/config" XDG_DATA_HOME="$run/data" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
"$run/program/zorvane" >"$run/program.log" 2>&1 &
window_of() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
wait_for 30 window_of '^Zorvane$' >/dev/null || fail "the window did not appear"
window=$(window_of '^Zorvane$')
keys() { xdotool key --window "$window" "$@"; sleep 0.2; }    # X has no word for "the key was taken"
xdotool windowfocus "$window"; sleep 0.3
keys alt+r; keys alt+i Down; keys alt+o ctrl+a           # Send From; Security: STARTTLS; the port
xdotool type --delay 10 "$(sed -n 's/^starttls //p' "$run/smtp.out")"
keys alt+n; xdotool type --delay 10 'me@example.com'
keys alt+w; xdotool type --delay 10 "$password"
keys alt+t                                               # Send Test Message
# Without a keyring the program first asks whether to keep the password in
# its settings file; the answer here is no.
wait_for 10 test "$(xdotool search --onlyvisible --name '^Zorvane$' | wc -l)" -gt 1 || fail "no question about the password"
xdotool key Escape
wait_for 20 test -f "$run/store/1.json" || fail "no message reached the server"
wait_for 10 window_of '^Zorvane Test Message$' >/dev/null || fail "the test window is not shown"
if [[ -n $screenshot ]]; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    import -window root -crop "$((WIDTH + X))x$((HEIGHT + Y))+0+0" +repage "$screenshot"
fi
xdotool key Return

grep -q '"tls": true' "$run/store/1.json" || fail "the message did not come over TLS: $(cat "$run/store/1.json")"
grep -q '"user": "me@example.com"' "$run/store/1.json" || fail "no sign-in: $(cat "$run/store/1.json")"
grep -q '^Subject: Zorvane Test Message' "$run/store/1.eml" || fail "not the test message"
kill -TERM %1
wait %1 || fail "the program ended with status $?"
grep -q '^SmtpSecurity=StartTLS' "$run/config/Zorvane/Zorvane.conf" || fail "the settings were not saved"
! grep -rl "$password" "$run/config" "$run/data" "$run/program.log" || fail "the password was written where it must not be"
echo "send-test-message: passed: the test message went over STARTTLS with sign-in."
