#!/usr/bin/env bash
# Builds every preset and runs every test:
#   linux  native build: all tests (unit, plug-in, renderer, binary checks, and the
#          plug-in in a session of a real host, Ardour, installed with --with-host)
#   win32  32-bit Windows deliverables: import/export checks (cannot execute here)
#   win64  64-bit Windows build: all tests under wine64
#   linux32  32-bit x86 Linux build of the core (no panel): its tests under qemu-i386
#   tsan   every native test under ThreadSanitizer
#   asan   every native test under AddressSanitizer + UndefinedBehaviorSanitizer
#   then the demo phrase rendered on linux, win64 and linux32 must be identical byte
#   for byte, and the packages are made (scripts/package.sh) and checked
#   (scripts/check-package.sh).
# Every stage runs even when an earlier one fails; the exit status is non-zero
# when any stage failed. The last lines are the summary of a CTest run over the
# stage results.
#
# Environment: VL_SKIP_INSTALL=1 skips the package installation;
#              VL_PRESETS="linux win64" limits the presets built and tested.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)

started=$(date +%s)
if [[ ${VL_SKIP_INSTALL:-0} != 1 ]]; then
  bash scripts/install-deps.sh --with-host || { echo "error: package installation failed" >&2; exit 1; }
fi

presets=(${VL_PRESETS:-linux win32 win64 linux32 tsan asan})
results=$root/build/ci
rm -rf "$results"
mkdir -p "$results"

has_preset() { [[ " ${presets[*]} " == *" $1 "* ]]; }

# record STAGE STATUS [NOTE]: keeps the outcome of one stage for the final summary,
# numbered so that the summary lists the stages in the order they ran.
recorded=0
record() {
  recorded=$((recorded + 1))
  local file
  file=$results/$(printf '%02d' "$recorded")-$1
  echo "$2" >"$file.status"
  printf '%s\n' "${3:-}" >"$file.note"
}

# stage NAME COMMAND...: runs a stage with a banner and records its exit status.
stage() {
  local name=$1; shift
  local t0=$SECONDS rc=0
  echo
  echo "================ $name ================"
  "$@" 2>&1 | tee "$results/$name.log"
  rc=${PIPESTATUS[0]}
  local summary
  summary=$(grep -E '^[0-9]+% tests passed|^No tests were found' "$results/$name.log" | tail -n 1)
  record "$name" "$rc" "${summary:-exit status $rc} ($((SECONDS - t0)) s)"
  return "$rc"
}

# Tests that open windows need a display; an X server of our own is used when
# xvfb-run is installed.
with_display=()
if command -v xvfb-run >/dev/null; then
  with_display=(xvfb-run -a -s "-screen 0 1280x1024x24")
fi

# ThreadSanitizer cannot map its shadow memory when the kernel randomises the
# address space too widely; running without randomisation avoids that.
no_aslr=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  no_aslr=(setarch "$(uname -m)" -R)
fi

for p in "${presets[@]}"; do
  if stage "configure-$p" cmake --preset "$p"; then
    stage "build-$p" cmake --build --preset "$p"
  else
    record "build-$p" 1 "not built: configuration failed"
  fi
done

configured() { [[ $(cat "$results"/*-"configure-$1.status" 2>/dev/null) == 0 ]]; }

# The tests run even after a failed build (it keeps going past failures): what was
# built is still tested, and what was not shows as "Not Run" failures.
run_tests() { # run_tests PRESET [WRAPPER...]
  local p=$1; shift
  if ! configured "$p"; then
    record "test-$p" 1 "not run: configuration failed"
    return
  fi
  stage "test-$p" "$@" ctest --preset "$p"
}

has_preset linux && run_tests linux "${with_display[@]}"
has_preset win32 && run_tests win32
if has_preset win64; then
  run_tests win64 "${with_display[@]}"
fi
has_preset linux32 && run_tests linux32
has_preset tsan && run_tests tsan "${with_display[@]}" "${no_aslr[@]}"
has_preset asan && run_tests asan "${with_display[@]}"

if has_preset linux && has_preset win64; then
  if configured linux && configured win64; then
    stage determinism-renders bash scripts/compare-renders.sh build/linux build/win64 build/determinism
  else
    record determinism-renders 1 "not run: linux or win64 configuration failed"
  fi
fi
if has_preset linux && has_preset linux32; then
  if configured linux && configured linux32; then
    stage determinism-linux32 bash scripts/compare-renders.sh build/linux build/linux32 build/determinism-linux32
  else
    record determinism-linux32 1 "not run: linux or linux32 configuration failed"
  fi
fi

# The packages, made from the builds above, then checked: lintian, the unpacked
# package's files, the zip's folders; in continuous integration (a fresh machine, as
# root) also apt-get install and remove of the package.
if has_preset linux && has_preset win32 && has_preset win64; then
  if configured linux && configured win32 && configured win64; then
    if stage package env VL_SKIP_INSTALL=1 bash scripts/package.sh; then
      deb=$(tail -n 2 "$results/package.log" | head -n 1)
      zip=$(tail -n 1 "$results/package.log")
      system_install=0
      [[ ${CI:-} == true && $(id -u) -eq 0 ]] && system_install=1
      stage package-check env VL_SYSTEM_INSTALL=$system_install bash scripts/check-package.sh "$deb" "$zip"
    else
      record package-check 1 "not run: the packages were not made"
    fi
  else
    record package 1 "not run: linux, win32 or win64 configuration failed"
  fi
fi

if has_preset win64 && [[ -d build/win64/wineprefix ]]; then
  WINEPREFIX=$root/build/win64/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null || true
fi

# The stage results as a CTest project of their own, so that the output ends with
# CTest's summary: one test per stage, failing when the stage failed.
{
  for status in "$results"/*.status; do
    file=${status%.status}
    name=$(basename "$file")
    echo "add_test(${name#*-} \"bash\" \"-c\" \"cat '$file.note'; exit \$(cat '$status')\")"
  done
} >"$results/CTestTestfile.cmake"

echo
echo "================ summary ($(( ($(date +%s) - started) / 60 )) min $(( ($(date +%s) - started) % 60 )) s) ================"
for status in "$results"/*.status; do
  file=${status%.status}
  name=$(basename "$file")
  if [[ $(cat "$status") == 0 ]]; then word=passed; else word=FAILED; fi
  printf '  %-24s %-7s %s\n' "${name#*-}" "$word" "$(cat "$file.note")"
done
total=0
failed_tests=0
for log in "$results"/test-*.log; do
  [[ -f $log ]] || continue
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]] || continue
  failed_tests=$((failed_tests + BASH_REMATCH[1]))
  total=$((total + BASH_REMATCH[2]))
done
echo "  test executables and checks run: $total, failed: $failed_tests"
echo
cd "$results" && ctest --output-on-failure
