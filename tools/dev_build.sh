#!/usr/bin/env bash
# Development build: builds the extension into build/<name> and stages an importable package
# in build/<name>/stage. Usage: tools/dev_build.sh <name> [extra cmake args...]
# Then: PYTHONPATH=build/<name>/stage python3 -P -m pytest tests/...
# PYTHON picks the interpreter to build for (default: python3 on the PATH).
# Compiler warnings are errors here, as in CI (QUORVALEX_WERROR).
set -euo pipefail
name=${1:?usage: tools/dev_build.sh <name> [cmake args...]}
shift
root=$(cd "$(dirname "$0")/.." && pwd)
python=${PYTHON:-python3}
build="$root/build/$name"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DPython_EXECUTABLE="$python" -DCMAKE_BUILD_TYPE=Release \
    -DQUORVALEX_WERROR=ON "$@" >/dev/null
elif ! grep -q '^QUORVALEX_WERROR:BOOL=ON$' "$build/CMakeCache.txt"; then
  cmake -B "$build" -DQUORVALEX_WERROR=ON >/dev/null
fi
ninja -C "$build" > "$build/last.log" || { cat "$build/last.log"; exit 1; }
# The package's Python files, stubs and marker files, then the extension.
mkdir -p "$build/stage/quorvalex"
(cd "$root" && find quorvalex -name __pycache__ -prune -o -type f \
  \( -name '*.py' -o -name '*.pyi' -o -name py.typed \) -exec cp --parents {} "$build/stage/" \;)
cp "$build"/_quorvalex*.so "$build/stage/quorvalex/"
echo "$build/stage"
