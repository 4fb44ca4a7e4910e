#!/usr/bin/env bash
# Checks the packages that scripts/package.sh made.
#
#   check-package.sh DEB ZIP
#
#   - lintian reports no error on the Debian package;
#   - its dependencies name the libraries the binaries link (JACK, ALSA, cairo, X11, C++);
#   - unpacked (dpkg-deb -x) into a temporary root, the tree passes check-install.sh;
#   - the zip has 32-bit/ and 64-bit/ with the plug-in DLL, the standalone program and
#     the renderer each, the 64-bit CLAP plug-in when the Linux package has one, the
#     factory bank and the guide; the DLLs and programs are PE files of their bitness;
#   - with VL_SYSTEM_INSTALL=1, as root (continuous integration, a fresh machine):
#     `apt-get install ./DEB` installs it, the installed tree under /usr passes
#     check-install.sh, Ardour (when installed) finds the plug-in in /usr/lib/vst with
#     no path variable, and `apt-get remove` leaves none of its files behind. Never
#     on a shared machine: the plug-in in /usr/lib/vst is seen by every host there.
# Prints one line per failure; exit status 0 when every check passes.
set -uo pipefail
deb=${1:?usage: check-package.sh DEB ZIP}
zip=${2:?usage: check-package.sh DEB ZIP}
source "$(dirname "${BASH_SOURCE[0]}")/check-common.sh"

# Plug-in formats in the package beyond VST 2 (check-install.sh checks them when named).
formats=()
contents=$(dpkg-deb -c "$deb") || fail "dpkg-deb cannot read $deb"
[[ $contents == *./usr/lib/lv2/velmorloom.lv2/* ]] && formats+=(--with lv2)
[[ $contents == *./usr/lib/clap/velmorloom.clap* ]] && formats+=(--with clap)

# --- Debian package
echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" | tee "$work/lintian.txt"
[[ ${PIPESTATUS[0]} == 0 ]] || fail "lintian reports errors on $deb"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libjack libasound2 libcairo2 libx11-6 libstdc++6 libc6; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[[ $(dpkg-deb -f "$deb" Package) == velmorloom ]] || fail "the package is not named velmorloom"

echo "== unpacked package"
dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x failed"
bash "$here/check-install.sh" "$work/root/usr" "${formats[@]}" || fail "the unpacked package is incomplete"

# --- Windows archive
echo "== Windows archive"
listing=$(unzip -Z1 "$zip") || fail "unzip cannot read $zip"
want=(32-bit/VELMORLOOM.dll 32-bit/VelmorLoomStandalone.exe 32-bit/velmorloom-render.exe
      64-bit/VELMORLOOM.dll 64-bit/VelmorLoomStandalone.exe 64-bit/velmorloom-render.exe
      factory.fxb "Velmor Loom Guide.txt" images/panel.png)
# the CLAP plug-in is built for Linux and 64-bit Windows alike
if [[ " ${formats[*]-} " == *" clap "* ]]; then
  want+=(64-bit/velmorloom.clap)
fi
for f in "${want[@]}"; do
  grep -qF -- "/$f" <<<"$listing" || fail "the zip lacks $f"
done
unzip -q "$zip" -d "$work/zip" || fail "unzip failed"
# PE machine field: 0x14c is i386, 0x8664 x86-64
machine() {
  local pe
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' '
}
while IFS= read -r f; do
  case $f in
    */32-bit/*.dll | */32-bit/*.exe) [[ $(machine "$f") == 014c ]] || fail "$f is not a 32-bit x86 file" ;;
    */64-bit/*.dll | */64-bit/*.exe | */64-bit/*.clap) [[ $(machine "$f") == 8664 ]] || fail "$f is not an x86-64 file" ;;
  esac
done < <(find "$work/zip" -type f)
cmp -s "$(find "$work/zip" -name factory.fxb)" "$work/root/usr/share/velmorloom/factory.fxb" ||
  fail "the zip's factory.fxb differs from the Debian package's"

# --- installation on the system (fresh machines only)
if [[ ${VL_SYSTEM_INSTALL:-0} == 1 ]]; then
  echo "== apt-get install and remove"
  if [[ $(id -u) -ne 0 ]]; then
    fail "VL_SYSTEM_INSTALL=1 needs root"
  else
    export DEBIAN_FRONTEND=noninteractive
    files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
    if apt-get install -y -q "$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"; then
      bash "$here/check-install.sh" /usr "${formats[@]}" || fail "the installed package is incomplete"
      # Ardour, when installed, finds the plug-in where the package put it, with no
      # VST_PATH or LXVST_PATH (the host test's headless session)
      lua=$(command -v ardour7-lua ardour8-lua | head -n 1)
      scanner=$(ls /usr/lib/ardour[78]/ardour-vst-scanner 2>/dev/null | head -n 1)
      if [[ -n $lua && -n $scanner ]]; then
        cmake -DARDOUR_LUA="$lua" -DARDOUR_SCANNER="$scanner" -DPLUGIN_NAME=velmorloom.so \
          -DINSTALLED_PLUGIN=/usr/lib/vst/velmorloom.so -DSCRIPT="$here/../tests/host/ardour-session.lua" \
          -DWORK_DIR="$work/ardour" -P "$here/../tests/host/RunArdour.cmake" ||
          fail "Ardour did not find the installed plug-in in /usr/lib/vst"
      else
        echo "Ardour is not installed: the installed plug-in is not tried in a host"
      fi
      apt-get remove -y -q velmorloom || fail "apt-get remove failed"
      left=()
      while IFS= read -r f; do
        [[ -e $f ]] && left+=("$f")
      done <<<"$files"
      ((${#left[@]} == 0)) || fail "apt-get remove left files behind: ${left[*]}"
      [[ $(dpkg-query -W -f='${Status}' velmorloom 2>/dev/null) != *installed* ]] ||
        fail "the package is still installed after apt-get remove"
    else
      fail "apt-get install ./$(basename "$deb") failed"
    fi
  fi
fi

finish "package check(s) failed" "the packages are complete: $deb $zip"
