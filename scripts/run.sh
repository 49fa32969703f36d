#!/usr/bin/env bash
# Installs what is missing, builds Zorvane and starts it. Without a display
# the program runs on a virtual one, so the command still works end to end.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
echo "Zorvane: built; starting build/zorvane."
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "Zorvane: no display found; running on a virtual display (xvfb-run)."
    exec xvfb-run -a build/zorvane
fi
exec build/zorvane
