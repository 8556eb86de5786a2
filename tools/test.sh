#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test; then builds
# the engine and jestcat again with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs their tests once more.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DJESTPAD_SANITIZE=ON \
  -DJESTPAD_BUILD_GUI=OFF -DJESTPAD_BUILD_BENCH=OFF
cmake --build build-asan -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
tools/package-check.sh
