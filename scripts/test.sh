#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
dir=build; opts=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan; opts=(-DTALLYPORT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi
cmake -S . -B "$dir" -G Ninja -DTALLYPORT_WERROR=ON "${opts[@]}"
cmake --build "$dir" -j "$(nproc)"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
