#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the test
# suite, the same suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# and each fuzz target for FUZZ_SECONDS (30) seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
# ccache (when installed) may reuse objects compiled in another checkout.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

failed() {
    echo "Zorvane: $1 FAILED (see above)." >&2
    exit 1
}

scripts/install-deps.sh
scripts/build.sh
ctest --preset default || failed "the test suite"
scripts/sanitize.sh || failed "the sanitizer suite"
scripts/fuzz.sh || failed "fuzzing"
echo "Zorvane: all tests passed (test suite, sanitizer suite, fuzzers)."
