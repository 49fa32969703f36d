#!/usr/bin/env bash
# Configures and builds Zorvane into build/ with the default preset.
set -euo pipefail
cd "$(dirname "$0")/.."
# ccache (when installed) may reuse objects compiled in another checkout.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake --preset default >/dev/null
cmake --build --preset default
