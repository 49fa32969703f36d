#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
if ctest --preset default; then
    echo "Zorvane: all tests passed."
else
    echo "Zorvane: some tests FAILED (see above)." >&2
    exit 1
fi
# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer, then
# every fuzz target for FUZZ_SECONDS (30) each.
scripts/sanitize.sh
scripts/fuzz.sh
