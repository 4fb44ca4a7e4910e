#!/usr/bin/env bash
# Checks the import and export tables of the built binaries.
#
#   check-binaries.sh pe-imports OBJDUMP FILE...   every FILE imports system DLLs only
#   check-binaries.sh pe-exports OBJDUMP FILE      FILE exports exactly "main"
#   check-binaries.sh elf-exports FILE             FILE exports exactly VSTPluginMain and main
#   check-binaries.sh pe-exports-clap OBJDUMP FILE FILE exports exactly "clap_entry"
#   check-binaries.sh elf-exports-clap FILE        FILE exports exactly clap_entry
#   check-binaries.sh elf-headless FILE [ARG...]   FILE needs no display library (X11, xcb,
#                                                  cairo, fontconfig, freetype) and, run with
#                                                  ARGs and no DISPLAY, exits with status 0
#   check-binaries.sh selftest                     tries the checks on binaries built here
#
# Exit status 0 when every check passes, 1 otherwise (each failure is printed).
set -uo pipefail

# DLLs that every Windows installation has. Anything else (libstdc++-6.dll,
# libgcc_s_*.dll, libwinpthread-1.dll, ...) would have to ship beside the plug-in.
SYSTEM_DLLS=(
  kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
  comdlg32.dll winmm.dll dsound.dll msvcrt.dll comctl32.dll uxtheme.dll
)

is_system_dll() {
  local name=${1,,}
  local d
  for d in "${SYSTEM_DLLS[@]}"; do
    [[ $name == "$d" ]] && return 0
  done
  [[ $name == api-ms-win-crt-*.dll ]] && return 0
  return 1
}

# Names in the export table of a PE file, one per line (nothing when it has none).
pe_export_names() {
  "$1" -p "$2" | awk '
    /^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
    inside && /^[[:space:]]*$/        { inside = 0; next }
    inside { sub(/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]*/, ""); print }'
}

pe_imports() {
  local objdump=$1; shift
  local failed=0 file dll dumped
  for file in "$@"; do
    if ! dumped=$("$objdump" -p "$file" 2>&1); then
      echo "FAIL: cannot read $file: $dumped"
      failed=1
      continue
    fi
    if ! grep -q 'DLL Name:' <<<"$dumped"; then
      echo "FAIL: $file: no import table found"
      failed=1
      continue
    fi
    while read -r dll; do
      if ! is_system_dll "$dll"; then
        echo "FAIL: $(basename "$file") imports $dll, which is not a Windows system DLL"
        failed=1
      fi
    done < <(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$dumped")
  done
  if (( failed == 0 )); then
    echo "ok: $# binaries import system DLLs only"
  fi
  return $failed
}

# pe_exports OBJDUMP FILE [NAME]: FILE exports exactly NAME (default main).
pe_exports() {
  local objdump=$1 file=$2 want=${3:-main} names
  if ! names=$(pe_export_names "$objdump" "$file"); then
    echo "FAIL: cannot read $file"
    return 1
  fi
  if [[ $names != "$want" ]]; then
    echo "FAIL: $(basename "$file") must export exactly '$want'; its exports are:"
    echo "${names:-  (none)}" | sed 's/^/  /'
    return 1
  fi
  echo "ok: $(basename "$file") exports exactly $want"
}

# elf_exports FILE [NAMES]: FILE exports exactly NAMES (sorted, one a line; default
# VSTPluginMain and main).
elf_exports() {
  local file=$1 want=${2:-$'VSTPluginMain\nmain'} names
  if ! names=$(nm -D --defined-only "$file" | awk 'NF >= 3 { print $NF }' | LC_ALL=C sort); then
    echo "FAIL: cannot read $file"
    return 1
  fi
  if [[ $names != "$want" ]]; then
    echo "FAIL: $(basename "$file") must export exactly ${want//$'\n'/ and }; its exports are:"
    echo "${names:-  (none)}" | sed 's/^/  /'
    return 1
  fi
  echo "ok: $(basename "$file") exports exactly ${want//$'\n'/ and }"
}

# Shared libraries that only a program showing a window needs.
DISPLAY_LIBRARIES='^lib(X11|X[a-z]+|xcb[-a-z]*|cairo|fontconfig|freetype|pixman-1)\.so'

elf_headless() {
  local file=$1 needed; shift
  if ! needed=$(objdump -p "$file" 2>&1 | sed -n 's/^[[:space:]]*NEEDED[[:space:]]*//p') || [[ -z $needed ]]; then
    echo "FAIL: cannot read the NEEDED entries of $file"
    return 1
  fi
  local display
  display=$(grep -E "$DISPLAY_LIBRARIES" <<<"$needed")
  if [[ -n $display ]]; then
    echo "FAIL: $(basename "$file") needs display libraries:"
    echo "$display" | sed 's/^/  /'
    return 1
  fi
  if (( $# > 0 )) && ! env -u DISPLAY -u WAYLAND_DISPLAY "$file" "$@"; then
    echo "FAIL: $(basename "$file") $* did not succeed without a display"
    return 1
  fi
  echo "ok: $(basename "$file") needs no display library ($(tr '\n' ' ' <<<"$needed"))"
}

# Builds binaries with known tables and checks that each check accepts the good
# ones and rejects the bad ones.
selftest() {
  local tmp
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' RETURN
  local failed=0

  expect() { # expect pass|fail DESCRIPTION COMMAND...
    local want=$1 what=$2; shift 2
    local out
    if out=$("$@" 2>&1); then got=pass; else got=fail; fi
    if [[ $got == "$want" ]]; then
      echo "ok: $what ($want)"
    else
      echo "FAIL: $what: expected $want, got $got"
      echo "$out" | sed 's/^/    /'
      failed=1
    fi
  }

  cat >"$tmp/plugin.cpp" <<'EOF'
#include <string>
#include <vector>
struct AEffect;
typedef long (*HostCallback)(AEffect*, int);
static std::vector<int> table(3);
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(HostCallback cb)
{
    std::string name(cb ? "x" : "yy");
    return reinterpret_cast<AEffect*>(table.data() + name.size());
}
EOF
  cat >"$tmp/entry.cpp" <<'EOF'
struct AEffect;
typedef long (*HostCallback)(AEffect*, int);
extern "C" AEffect* VSTPluginMain(HostCallback cb);
extern "C" __attribute__((visibility("default"))) AEffect* mainEntry(HostCallback cb) asm("main");
AEffect* mainEntry(HostCallback cb) { return VSTPluginMain(cb); }
EOF
  printf 'LIBRARY PLUGIN\nEXPORTS\n  main=VSTPluginMain\n' >"$tmp/one.def"
  printf 'LIBRARY PLUGIN\nEXPORTS\n  main=VSTPluginMain\n  VSTPluginMain\n' >"$tmp/two.def"
  printf '{\n  global: VSTPluginMain; main;\n  local: *;\n};\n' >"$tmp/exports.map"

  local triplet objdump cxx
  for triplet in i686-w64-mingw32 x86_64-w64-mingw32; do
    cxx=$triplet-g++-posix
    objdump=$triplet-objdump
    if ! command -v "$cxx" >/dev/null; then
      echo "FAIL: $cxx not installed"
      failed=1
      continue
    fi
    "$cxx" -O1 -shared -static "$tmp/plugin.cpp" "$tmp/one.def" -o "$tmp/good-$triplet.dll" &&
    "$cxx" -O1 -shared "$tmp/plugin.cpp" "$tmp/one.def" -o "$tmp/dynamic-$triplet.dll" &&
    "$cxx" -O1 -shared -static "$tmp/plugin.cpp" "$tmp/two.def" -o "$tmp/two-$triplet.dll" || {
      echo "FAIL: cannot build the $triplet sample DLLs"
      failed=1
      continue
    }
    expect pass "$triplet static DLL imports" pe_imports "$objdump" "$tmp/good-$triplet.dll"
    expect fail "$triplet DLL using the run-time DLLs" pe_imports "$objdump" "$tmp/dynamic-$triplet.dll"
    expect fail "$triplet list with one bad DLL" pe_imports "$objdump" "$tmp/good-$triplet.dll" "$tmp/dynamic-$triplet.dll"
    expect pass "$triplet DLL exporting main" pe_exports "$objdump" "$tmp/good-$triplet.dll"
    expect fail "$triplet DLL exporting two names" pe_exports "$objdump" "$tmp/two-$triplet.dll"
    expect fail "$triplet DLL exporting main, not clap_entry" pe_exports "$objdump" "$tmp/good-$triplet.dll" clap_entry
  done

  if g++ -O1 -shared -fPIC -fvisibility=hidden "$tmp/plugin.cpp" "$tmp/entry.cpp" \
        -Wl,--version-script="$tmp/exports.map" -o "$tmp/good.so" &&
     g++ -O1 -shared -fPIC "$tmp/plugin.cpp" "$tmp/entry.cpp" -o "$tmp/leaky.so" &&
     g++ -O1 -shared -fPIC "$tmp/plugin.cpp" -Wl,--version-script="$tmp/exports.map" -o "$tmp/nomain.so"; then
    expect pass ".so exporting VSTPluginMain and main" elf_exports "$tmp/good.so"
    expect fail ".so exporting library templates too" elf_exports "$tmp/leaky.so"
    expect fail ".so without main" elf_exports "$tmp/nomain.so"
    expect fail ".so exporting VSTPluginMain and main, not clap_entry" elf_exports "$tmp/good.so" clap_entry
  else
    echo "FAIL: cannot build the sample shared objects"
    failed=1
  fi
  printf 'int main() { return 0; }\n' >"$tmp/program.cpp"
  if g++ -O1 "$tmp/program.cpp" -o "$tmp/plain" &&
     g++ -O1 "$tmp/program.cpp" -Wl,--no-as-needed -lX11 -o "$tmp/withx11" &&
     g++ -O1 "$tmp/program.cpp" -Wl,--no-as-needed -lcairo -o "$tmp/withcairo"; then
    expect pass "program without display libraries" elf_headless "$tmp/plain"
    expect pass "program run without a display" elf_headless "$tmp/plain" --ignored-argument
    expect fail "program linked with libX11" elf_headless "$tmp/withx11"
    expect fail "program linked with cairo" elf_headless "$tmp/withcairo"
    expect fail "program that fails when run" elf_headless /bin/false --run
  else
    echo "FAIL: cannot build the sample programs"
    failed=1
  fi
  return $failed
}

usage() {
  sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}

mode=${1:-}
[[ -n $mode ]] || usage
shift
case $mode in
  pe-imports)  (( $# >= 2 )) || usage; pe_imports "$@" ;;
  pe-exports)  (( $# == 2 )) || usage; pe_exports "$@" ;;
  elf-exports) (( $# == 1 )) || usage; elf_exports "$@" ;;
  pe-exports-clap)  (( $# == 2 )) || usage; pe_exports "$1" "$2" clap_entry ;;
  elf-exports-clap) (( $# == 1 )) || usage; elf_exports "$1" clap_entry ;;
  elf-headless) (( $# >= 1 )) || usage; elf_headless "$@" ;;
  selftest)    selftest ;;
  *) usage ;;
esac
