#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the normal build, then
# the sanitizer builds named in OLTSRV_SANITIZERS (default: "address thread";
# "none" for none).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

run_suite() {
  local dir=$1 sanitize=${2:-}
  echo "=== build ${dir} ${sanitize:+(${sanitize})}"
  bash scripts/build.sh "$dir" "$sanitize"
  echo "=== tests ${dir}"
  (cd "$dir" && ctest --output-on-failure -j"$(nproc)" --timeout 600)
}

run_suite build
sanitizers=${OLTSRV_SANITIZERS:-address thread}
[ "$sanitizers" = none ] && sanitizers=
for s in $sanitizers; do
  case $s in
    address) ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
               run_suite build-asan address ;;
    thread) TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_suite build-tsan thread ;;
    *) echo "test.sh: unknown sanitizer $s" >&2; exit 2 ;;
  esac
done
echo "=== all tests passed"
