#!/usr/bin/env bash
# Development build: builds the extension into build/<name> and stages an importable package
# in build/<name>/stage. Usage: tools/dev_build.sh <name> [extra cmake args...]
# Then: PYTHONPATH=build/<name>/stage python -P -m pytest tests/...
set -euo pipefail
name=${1:?usage: tools/dev_build.sh <name> [cmake args...]}
shift
root=$(cd "$(dirname "$0")/.." && pwd)
python=${PYTHON:-/work/venv/bin/python}
build="$root/build/$name"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DPython_EXECUTABLE="$python" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
fi
ninja -C "$build" > "$build/last.log" || { cat "$build/last.log"; exit 1; }
mkdir -p "$build/stage/quorvalex"
cp "$root"/quorvalex/*.py "$build/stage/quorvalex/"
cp "$build"/_quorvalex*.so "$build/stage/quorvalex/"
echo "$build/stage"
