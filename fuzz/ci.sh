#!/usr/bin/env bash
# CI: the kernel fuzzers for a bounded time each (default 25 s per target, five targets).
# Installs clang and its libFuzzer runtime with apt-get when they are missing.
#   fuzz/ci.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-${FUZZ_SECONDS:-25}}

have_libfuzzer() {
  echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
    clang++ -x c++ -fsanitize=fuzzer,address,undefined -o /tmp/qx-fuzz-probe.$$ - >/dev/null 2>&1
  local ok=$?
  rm -f /tmp/qx-fuzz-probe.$$
  return $ok
}

if ! have_libfuzzer; then
  sudo=$([ "$(id -u)" -eq 0 ] || echo sudo)
  $sudo apt-get update -qq
  # Debian 12: clang 14; libFuzzer and the sanitizer runtimes come with libclang-rt-14-dev.
  $sudo apt-get install -y -qq clang libclang-rt-dev >/dev/null 2>&1 ||
    $sudo apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
  have_libfuzzer || { echo "fuzz: clang with libFuzzer is not available"; exit 1; }
fi
for tool in cmake ninja; do
  command -v $tool >/dev/null || { echo "fuzz: $tool is needed"; exit 1; }
done
start=$(date +%s)
fuzz/run.sh "$seconds"
echo "fuzz: done in $(($(date +%s) - start)) s"
