#!/usr/bin/env bash
# Installs what is needed, builds Quillstack and starts it in the current
# folder (where its database "Qsk.MDB" lives).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/install-deps.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQS_BUILD_TESTS=OFF
cmake --build "$here/build" -j2 --target quillstack
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
    echo "No graphical display was found. Quillstack is a desktop program: start this" >&2
    echo "command from a desktop session, or run it on a virtual display with" >&2
    echo "  xvfb-run -a $here/build/quillstack" >&2
    exit 2
fi
exec "$here/build/quillstack" "$@"
