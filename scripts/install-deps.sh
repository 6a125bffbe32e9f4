#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and runs with; with --tests,
# also those its tests, benchmarks and fuzzers need.
# Idempotent: prints nothing and touches nothing when every package is present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libboost1.81-dev
  libzmq3-dev cppzmq-dev
  libjsoncpp-dev
  libcurl4-openssl-dev
  libhiredis-dev
  libsystemd-dev
  scdoc
)
if [ "${1:-}" = "--tests" ]; then
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev redis-server clang libclang-rt-14-dev
    clang-format libspdlog-dev)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
