#!/usr/bin/env bash
# Fails when a C++ file of the project is not laid out by .clang-format.
set -euo pipefail
cd "$1"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
