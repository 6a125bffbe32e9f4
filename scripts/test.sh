#!/usr/bin/env bash
# Installs the dependencies, builds the release configuration and runs every test.
# With --sanitizers it then repeats the suite under AddressSanitizer with
# UndefinedBehaviorSanitizer, and under ThreadSanitizer.
# With CI=true, the C++ files must be formatted as .clang-format says, and a warning
# fails the build.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

werror=OFF
if [ "${CI:-}" = true ]; then
    werror=ON
    git ls-files -z -- '*.cpp' '*.h' '*.hpp' | xargs -0 clang-format --dry-run --Werror
fi

jobs=$(nproc)
run_preset() {
    cmake --preset "$1" -DVANDREL_WARNINGS_AS_ERRORS="$werror" >/dev/null
    cmake --build --preset "$1" -j "$jobs"
    ctest --preset "$1" -j "$jobs"
}

run_preset release
if [ "${1:-}" = "--sanitizers" ]; then
    run_preset asan
    run_preset tsan
fi
