#!/usr/bin/env bash
# Installs the dependencies, builds the release configuration and runs every test.
# With --sanitizers it then repeats the suite under AddressSanitizer with
# UndefinedBehaviorSanitizer, and under ThreadSanitizer.
# With CI=true, the C++ files must be formatted as .clang-format says, and a warning
# fails the build.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh --tests

werror=OFF
if [ "${CI:-}" = true ]; then
    werror=ON
    git ls-files -z -- '*.cpp' '*.h' '*.hpp' | xargs -0 clang-format --dry-run --Werror
fi

jobs=$(nproc)
# scripts/run.sh leaves the release build without tests or benchmarks: both are asked for here.
run_preset() {
    cmake --preset "$1" -DVANDREL_BUILD_TESTS=ON -DVANDREL_WARNINGS_AS_ERRORS="$werror" "${@:2}" >/dev/null
    cmake --build --preset "$1" -j "$jobs"
    ctest --preset "$1" -j "$jobs"
}

run_preset release -DVANDREL_BUILD_BENCHMARKS=ON
if [ "${1:-}" = "--sanitizers" ]; then
    run_preset asan
    run_preset tsan
fi
