#!/usr/bin/env bash
# Installs what the relay needs, builds it with vandrel-tail and the example
# service, and runs the relay on the shipped configuration (loopback endpoints),
# or on the one given, until Ctrl-C.
set -euo pipefail
# A configuration named by the caller is found from where the caller stands.
config="$(realpath -m -- "${1:-$(dirname "$0")/../etc/vandrel.json}")"
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release -DVANDREL_BUILD_TESTS=OFF -DVANDREL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build --preset release -j "$(nproc)" --target vandrel vandrel-tail heartbeat_service
exec ./build/release/src/vandrel -c "$config"
