#!/usr/bin/env bash
# Installs what is needed, builds the native (linux) preset, renders the built-in
# demo phrase through the instrument and prints the path of the WAV file.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if [[ ${VL_SKIP_INSTALL:-0} != 1 ]]; then
  bash scripts/install-deps.sh
fi

cmake --preset linux
cmake --build --preset linux

render=$(sed -n 's/^velmorloom-render=//p' build/linux/deliverables.txt | head -n 1)
if [[ -z $render || ! -x $render ]]; then
  echo "error: the build did not produce velmorloom-render" >&2
  exit 1
fi

mkdir -p build/demo
wav=$(cd build/demo && pwd)/velmorloom-demo.wav
"$render" -o "$wav"
echo
echo "Demo phrase rendered to:"
echo "$wav"
