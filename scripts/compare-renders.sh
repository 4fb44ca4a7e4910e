#!/usr/bin/env bash
# Renders the built-in demo phrase with the Linux build and with another build (the
# 64-bit Windows build under wine64, or the 32-bit x86 Linux build under qemu-i386), as
# 16-bit and as float WAV files, and requires the files to be identical byte for byte:
# the engine must give bit-identical output everywhere.
#
#   compare-renders.sh LINUX_BUILD_DIR OTHER_BUILD_DIR [OUTPUT_DIR]
#
# The other build is named after its folder (win64, linux32). Each build folder has a
# deliverables.txt listing its binaries. When neither build has velmorloom-render yet,
# the comparison is skipped (exit 0).
set -euo pipefail

if (( $# < 2 )); then
  sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi
linux_build=$(cd "$1" && pwd)
other_build=$(cd "$2" && pwd)
other=$(basename "$other_build")
out=${3:-$other_build/../determinism}
mkdir -p "$out"
out=$(cd "$out" && pwd)

WINE64=${VL_WINE64:-/usr/lib/wine/wine64}
export WINEPREFIX=${WINEPREFIX:-$other_build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

deliverable() { # deliverable BUILD_DIR NAME -> path, or nothing
  local list=$1/deliverables.txt
  [[ -f $list ]] || return 0
  sed -n "s/^$2=//p" "$list" | head -n 1
}

linux_render=$(deliverable "$linux_build" velmorloom-render)
other_render=$(deliverable "$other_build" velmorloom-render)
if [[ -z $linux_render && -z $other_render ]]; then
  echo "skipped: velmorloom-render is not part of these builds yet"
  exit 0
fi
for r in "$linux_render" "$other_render"; do
  if [[ -z $r || ! -f $r ]]; then
    echo "FAIL: velmorloom-render missing from one build (linux: '${linux_render}', $other: '${other_render}')"
    exit 1
  fi
done

# How the other build's renderer runs here: Windows programs under wine64, 32-bit
# Linux programs under qemu-i386 (no 32-bit execution on these machines; the fifth byte
# of an ELF file is its class, 1 for 32-bit programs).
other_runner=()
if [[ $other_render == *.exe ]]; then
  other_runner=("$WINE64")
elif [[ $(head -c 5 "$other_render" | tail -c 1 | od -An -tu1 | tr -d ' ') == 1 ]]; then
  other_runner=("${VL_QEMU_I386:-qemu-i386}")
fi

failed=0
check_audio() { # check_audio FILE: a RIFF/WAVE file with some non-zero sample data
  local f=$1 size
  size=$(stat -c %s "$f")
  if (( size <= 44 )) || [[ $(head -c 4 "$f") != RIFF ]]; then
    echo "FAIL: $f is not a WAV file ($size bytes)"
    return 1
  fi
  if cmp -s <(tail -c +45 "$f") <(head -c $((size - 44)) /dev/zero); then
    echo "FAIL: $f holds only silence"
    return 1
  fi
}

cd "$out"
rm -f ./*.wav
for format in int16 float; do
  args=(-q)
  [[ $format == float ]] && args+=(--float)
  echo "== demo phrase, $format: linux"
  "$linux_render" "${args[@]}" -o "linux-$format.wav"
  "$linux_render" "${args[@]}" -o "linux-$format-again.wav"
  echo "== demo phrase, $format: $other ${other_runner[*]:+under ${other_runner[*]}}"
  # Relative output names: the Windows program sees the same folder as its
  # current directory, so no path translation is involved.
  "${other_runner[@]}" "$other_render" "${args[@]}" -o "$other-$format.wav"

  check_audio "linux-$format.wav" || failed=1
  if ! cmp "linux-$format.wav" "linux-$format-again.wav"; then
    echo "FAIL: two Linux renders of the demo phrase ($format) differ"
    failed=1
  fi
  if cmp "linux-$format.wav" "$other-$format.wav"; then
    echo "ok: $format render identical on linux and $other ($(stat -c %s "linux-$format.wav") bytes, sha256 $(sha256sum "linux-$format.wav" | cut -c1-16))"
  else
    echo "FAIL: $format render differs between linux and $other"
    failed=1
  fi
done

# The float file carries 32-bit samples where the default file carries 16-bit ones.
int_size=$(stat -c %s linux-int16.wav)
float_size=$(stat -c %s linux-float.wav)
if (( float_size <= int_size )); then
  echo "FAIL: float render ($float_size bytes) is not larger than the 16-bit render ($int_size bytes)"
  failed=1
fi

if (( failed )); then
  echo "determinism check FAILED (files kept in $out)"
  exit 1
fi
echo "determinism check passed"
