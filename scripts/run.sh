#!/usr/bin/env bash
# Installs what is missing, builds Zorvane and shows it at work against the
# sandbox: a simulated auction site and a mail catcher on this computer.
# Without a display the program runs on a virtual one and the script
# presses Check Now itself.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
echo "Zorvane: built; starting it against the sandbox."
exec scripts/sandbox-demo.sh --build build
