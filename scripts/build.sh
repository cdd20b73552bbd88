#!/usr/bin/env bash
# Configures and builds oltsrv with its tests.
#   build.sh [BUILD_DIR [SANITIZER]]   SANITIZER: address (ASan+UBSan) or thread (TSan)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
sanitize=${2:-}
type=RelWithDebInfo
[ -n "$sanitize" ] && type=Debug
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" -DOLTSRV_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir" -j"$(nproc)"
