#!/usr/bin/env bash
# Installs only what the renderer needs, builds only the renderer (linux preset, without
# the tests), renders the built-in demo phrase through the instrument and prints the path
# of the WAV file.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if [[ ${VL_SKIP_INSTALL:-0} != 1 ]]; then
  bash scripts/install-deps.sh --renderer
fi

# The renderer needs no display library: the panel (and with it the plug-ins and the
# standalone program), the tests and the benchmarks need packages the demo does not
# install, so they are left out here (the next `cmake --preset linux` takes them back in).
cmake --preset linux -DVL_BUILD_TESTS=OFF -DVL_BUILD_BENCH=OFF -DVL_WITH_GUI=OFF
cmake --build --preset linux --target velmorloom-render

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
