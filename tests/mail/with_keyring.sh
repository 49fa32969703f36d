#!/bin/sh
# Runs a command with a throw-away, unlocked gnome-keyring (the Secret
# Service) on the current D-Bus session; for use under dbus-run-session, so
# that the keyring ends with the session and the user's own is never touched.
set -eu
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export XDG_DATA_HOME="$home" XDG_RUNTIME_DIR="$home"
printf x | gnome-keyring-daemon --unlock --components=secrets >/dev/null
"$@"
