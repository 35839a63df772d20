#!/usr/bin/env bash
# Installs what is needed, builds Quillstack and runs every test, then builds
# and runs them again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen

cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DQS_WERROR=ON
cmake --build "$here/build" -j2
(cd "$here/build" && ctest --output-on-failure -j2)
# The Debian package from the same build: lintian, then the unpacked program run.
bash "$here/scripts/check-package.sh" "$here/build"

if [ "${QS_SKIP_SANITIZERS:-0}" != 1 ]; then
    cmake -S "$here" -B "$here/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Asan -DQS_WERROR=ON
    cmake --build "$here/build-asan" -j2
    # Leaks are not checked: the toolkit's own caches would drown the report.
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    (cd "$here/build-asan" && ctest --output-on-failure -j2)
fi
echo "All tests passed."
