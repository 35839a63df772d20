#!/usr/bin/env bash
# Installs what is needed, builds Quillstack and runs every test, then builds
# and runs them again under AddressSanitizer and UndefinedBehaviorSanitizer.
# The tests of the server engine get a throwaway PostgreSQL cluster of their
# own (pg_virtualenv sets the PG* variables and removes it afterwards); they
# fail, rather than skip, when it does not answer.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen
export QSK_REQUIRE_SERVER=1

# Runs ctest in a build folder with a test server running.
run_tests() {
    (cd "$1" && pg_virtualenv -t ctest --output-on-failure -j2)
}

cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DQS_WERROR=ON
cmake --build "$here/build" -j2
run_tests "$here/build"

if [ "${QS_SKIP_SANITIZERS:-0}" != 1 ]; then
    cmake -S "$here" -B "$here/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Asan -DQS_WERROR=ON
    cmake --build "$here/build-asan" -j2
    # Leaks are not checked: the toolkit's own caches would drown the report.
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    run_tests "$here/build-asan"
fi
echo "All tests passed."
