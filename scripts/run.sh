#!/usr/bin/env bash
# Installs the dependencies, builds the release configuration and runs the relay
# on the shipped configuration (loopback endpoints) until Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target vandrel
exec ./build/release/src/vandrel -c "${1:-etc/vandrel.json}"
