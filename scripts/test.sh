#!/usr/bin/env bash
# Installs what is needed, builds Quillstack and runs every test, runs the fuzz
# targets for a bounded time, builds the core alone with its tests, then builds
# and runs the tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
# The tests of the server engine get a throwaway PostgreSQL cluster of their
# own (pg_virtualenv sets the PG* variables and removes it afterwards); they
# fail, rather than skip, when it does not answer.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen
export QSK_REQUIRE_SERVER=1

# Prints how long each stage took, so a slow CI run shows where its time went.
stage_start=$SECONDS
stage() {
    echo "== $1: $((SECONDS - stage_start)) s (total $SECONDS s)"
    stage_start=$SECONDS
}
# Every build here starts from nothing, so the libraries are compiled in batches.
# The core-only build compiles the same sources with the same flags as the
# first one: a compiler cache turns it into little more than linking.
build_options=(-DQS_UNITY_BUILD=ON)
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="$here"
    build_options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
stage "installing"
bash "$here/scripts/check-format.sh"
stage "format check"

# Runs ctest in a build folder with a test server running.
run_tests() {
    (cd "$1" && pg_virtualenv -t ctest --output-on-failure -j2)
}

cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DQS_WERROR=ON "${build_options[@]}"
cmake --build "$here/build" -j2
stage "release build"
# Two copies saving on one file at once for a whole minute.
QSK_SOAK_SECONDS=60 run_tests "$here/build"
stage "release tests"
# The Debian package from the same build: lintian, then the unpacked program run.
bash "$here/scripts/check-package.sh" "$here/build"
stage "package check"

# Fuzz targets, about 20 s each plus their build (QS_FUZZ_SECONDS changes the time).
if [ "${QS_SKIP_FUZZ:-0}" != 1 ]; then
    bash "$here/scripts/fuzz.sh" "${QS_FUZZ_SECONDS:-20}"
    stage "fuzzing"
fi

# The core libraries and their tests built again without Qt Widgets: proves the
# split. (They ran, from the same sources and flags, in the first pass.)
cmake -S "$here" -B "$here/build-core" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DQS_WERROR=ON -DQS_CORE_ONLY=ON "${build_options[@]}"
cmake --build "$here/build-core" -j2
stage "core-only build"

if [ "${QS_SKIP_SANITIZERS:-0}" != 1 ]; then
    cmake -S "$here" -B "$here/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Asan -DQS_WERROR=ON \
        -DQS_BUILD_EXTRAS=OFF -DQS_UNITY_BUILD=ON
    cmake --build "$here/build-asan" -j2
    stage "sanitizer build"
    # Leaks are not checked: the toolkit's own caches would drown the report.
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    # The two-copy soak ran its full minute in the release pass.
    export QSK_SOAK_SECONDS=10
    export QSK_KILL_ROUNDS=6
    run_tests "$here/build-asan"
    stage "sanitizer tests"
fi
echo "All tests passed."
