#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over every source file of the
# project, through the compile database of build/ (tools/build.sh makes it);
# any finding fails. It takes a few minutes, so tools/test.sh leaves it out.
# Format edited lines with `git clang-format` (.clang-format); the tree as a
# whole is not reformatted.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
[ -f build/compile_commands.json ] || tools/build.sh
run-clang-tidy -p build -quiet -j"$(nproc)" "^$PWD/(engine|cli|framework|display|app|tests|bench|tools)/[^/]*(/[^/]*)?\.cpp$"
