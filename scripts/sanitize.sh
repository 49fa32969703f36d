#!/usr/bin/env bash
# Builds everything with AddressSanitizer, UndefinedBehaviorSanitizer and the
# standard library's assertions (preset "asan", folder build-asan) and runs the
# whole test suite there. Any sanitizer report fails the test that made it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset asan >/dev/null
cmake --build --preset asan
if ctest --preset asan; then
    echo "Zorvane: sanitizer suite passed."
else
    echo "Zorvane: sanitizer suite FAILED (see above)." >&2
    exit 1
fi
