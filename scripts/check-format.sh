#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what clang-format makes of it
# (the rules are in .clang-format). Run `clang-format -i FILE` to mend one.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
