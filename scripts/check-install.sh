#!/usr/bin/env bash
# Checks an installed tree: every file where users and hosts look for it, and that the
# installed pieces work from there.
#
#   check-install.sh PREFIX [--with lv2] [--with clap]
#
# PREFIX is the folder holding bin/, lib/ and share/ (a `cmake --install --prefix`
# folder, or usr/ of an unpacked Debian package). --with names the plug-in formats that
# must be there too. Checks:
#   - the files: plug-ins in lib/vst, lib/lv2, lib/clap; both programs in bin/; the
#     desktop entry, the icons (48, 128, scalable); both manual pages (plain or gzip);
#     the factory bank; the user's guide and its panel picture;
#   - the plug-in exports exactly its two entry points and all its libraries resolve;
#   - desktop-file-validate accepts the desktop entry, whose program and icon exist;
#   - the manual pages format without a groff warning, and each holds every line of the
#     program's --help (the same words, whatever the line breaks); the guide explains
#     every option the programs' --help lists;
#   - the installed renderer renders the demo phrase, and the factory bank gives the
#     factory programs' sound.
# Prints one line per failure; exit status 0 when every check passes.
set -uo pipefail

prefix=${1:?usage: check-install.sh PREFIX [--with lv2] [--with clap]}
shift
with=()
while (($#)); do
  [[ $1 == --with && $# -ge 2 ]] || { echo "usage: check-install.sh PREFIX [--with lv2] [--with clap]" >&2; exit 2; }
  with+=("$2")
  shift 2
done
prefix=$(cd "$prefix" && pwd) || exit 1
source "$(dirname "${BASH_SOURCE[0]}")/check-common.sh"
expect_file() {
  [[ -f $prefix/$1 && -s $prefix/$1 ]] || fail "missing: $1"
}
wants() { [[ " ${with[*]-} " == *" $1 "* ]]; }

# --- files where the user and the hosts look for them
for f in bin/velmorloom bin/velmorloom-render; do
  expect_file "$f"
  [[ -x $prefix/$f ]] || fail "not executable: $f"
done
expect_file lib/vst/velmorloom.so
expect_file share/applications/velmorloom.desktop
expect_file share/icons/hicolor/48x48/apps/velmorloom.png
expect_file share/icons/hicolor/128x128/apps/velmorloom.png
expect_file share/icons/hicolor/scalable/apps/velmorloom.svg
expect_file share/velmorloom/factory.fxb
expect_file share/doc/velmorloom/guide.md
expect_file share/doc/velmorloom/images/panel.png
if wants lv2; then
  expect_file lib/lv2/velmorloom.lv2/manifest.ttl
  ls "$prefix"/lib/lv2/velmorloom.lv2/*.so >/dev/null 2>&1 || fail "no module in lib/lv2/velmorloom.lv2"
fi
if wants clap; then
  expect_file lib/clap/velmorloom.clap
  nm -D --defined-only "$prefix/lib/clap/velmorloom.clap" 2>/dev/null | grep -qw clap_entry ||
    fail "lib/clap/velmorloom.clap does not export clap_entry"
fi

# --- the plug-in as a host loads it
if [[ -f $prefix/lib/vst/velmorloom.so ]]; then
  bash "$here/check-binaries.sh" elf-exports "$prefix/lib/vst/velmorloom.so" >/dev/null ||
    fail "lib/vst/velmorloom.so does not export exactly VSTPluginMain and main"
  missing=$(ldd "$prefix/lib/vst/velmorloom.so" | grep 'not found')
  [[ -z $missing ]] || fail "lib/vst/velmorloom.so: libraries not found: $missing"
fi

# --- icons: PNG of the stated size (IHDR width and height), an SVG document
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8 }'; }
for size in 48 128; do
  f=$prefix/share/icons/hicolor/${size}x${size}/apps/velmorloom.png
  [[ -f $f ]] || continue
  [[ $(head -c 8 "$f" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || fail "$f is not a PNG file"
  [[ $(png_size "$f") == "${size}x${size}" ]] || fail "$f is $(png_size "$f"), not ${size}x${size}"
done
svg=$prefix/share/icons/hicolor/scalable/apps/velmorloom.svg
[[ ! -f $svg ]] || grep -q '<svg ' "$svg" || fail "$svg is not an SVG document"

# --- desktop entry
desktop=$prefix/share/applications/velmorloom.desktop
if [[ -f $desktop ]]; then
  if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
    [[ -z $out ]] || fail "desktop-file-validate: $out"
  else
    fail "desktop-file-validate is not installed (package desktop-file-utils)"
  fi
  exec_line=$(sed -n 's/^Exec=//p' "$desktop")
  [[ -x $prefix/bin/${exec_line%% *} ]] || fail "the desktop entry starts '$exec_line', which is not in bin/"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [[ -f $prefix/share/icons/hicolor/48x48/apps/$icon.png ]] || fail "the desktop entry's icon '$icon' is not installed"
  grep -qx 'StartupWMClass=Velmorloom' "$desktop" || fail "the desktop entry does not name the window's class"
  grep -Eq '^Categories=.*(^|;)Audio;.*Midi;' "$desktop" || fail "the desktop entry is not in the Audio and Midi categories"
fi

# --- manual pages: no groff warning, every line of --help in the page
squeeze() { tr -s ' \t\n' '   ' | sed 's/^ //; s/ $//'; }
for program in velmorloom velmorloom-render; do
  page=$prefix/share/man/man1/$program.1
  if [[ -f $page.gz ]]; then
    zcat "$page.gz" >"$work/$program.1"
  elif [[ -f $page ]]; then
    cp "$page" "$work/$program.1"
  else
    fail "missing: share/man/man1/$program.1 (or .1.gz)"
    continue
  fi
  warnings=$(groff -man -Tutf8 -ww -z "$work/$program.1" 2>&1)
  [[ -z $warnings ]] || fail "$program.1: groff warns: $warnings"
  rendered=$(groff -man -Tascii -P-cbou "$work/$program.1" 2>/dev/null | sed 's/\x1b\[[0-9;]*m//g' | squeeze)
  [[ -x $prefix/bin/$program ]] || continue
  help=$(env -u DISPLAY "$prefix/bin/$program" --help) || fail "$program --help failed"
  [[ -n $help ]] || continue
  while IFS= read -r line; do
    [[ -z ${line// /} ]] && continue
    if [[ $line == Usage:* ]]; then
      line=${line#Usage: }
    fi
    wanted=$(squeeze <<<"$line")
    [[ $rendered == *"$wanted"* ]] || fail "$program.1 lacks the --help line: $wanted"
  done <<<"$help"
  [[ $rendered == *"NAME $program - "* ]] || fail "$program.1 has no NAME line for $program"
  # the guide explains every option too
  guide=$prefix/share/doc/velmorloom/guide.md
  for option in $(grep -oE -- '--[a-z][a-z-]+' <<<"$help" | sort -u); do
    grep -qF -- "\`$option" "$guide" 2>/dev/null || fail "the guide does not explain $program $option"
  done
done

# --- the installed renderer renders the demo phrase; the bank holds the factory programs
render=$prefix/bin/velmorloom-render
bank=$prefix/share/velmorloom/factory.fxb
if [[ -x $render ]]; then
  if (cd "$work" && "$render" -q); then
    wav=$work/velmorloom-demo.wav
    [[ $(head -c 4 "$wav") == RIFF && $(dd if="$wav" bs=1 skip=8 count=4 2>/dev/null) == WAVE ]] ||
      fail "the demo render is not a WAV file"
    size=$(stat -c %s "$wav")
    ((size > 44 + 44100 * 4)) || fail "the demo render holds less than a second ($size bytes)"
    [[ -n $(tail -c +45 "$wav" | tr -d '\0' | head -c 1 | od -An -tx1) ]] || fail "the demo render is silent"
  else
    fail "the installed renderer failed to render the demo phrase"
  fi
  if [[ -f $bank ]]; then
    [[ $(stat -c %s "$bank") == 812 && $(head -c 4 "$bank") == CcnK ]] || fail "factory.fxb is not an 812-byte bank file"
    "$render" -q -p 5 -o "$work/program5.wav" &&
      "$render" -q --bank "$bank" -p 5 -o "$work/bank5.wav" &&
      "$render" -q --bank "$bank" -p 0 -o "$work/bank0.wav" || fail "rendering with the factory bank failed"
    cmp -s "$work/program5.wav" "$work/bank5.wav" || fail "program 5 of factory.fxb does not sound as the factory program 5"
    ! cmp -s "$work/bank0.wav" "$work/bank5.wav" || fail "programs 0 and 5 of factory.fxb sound the same"
  fi
fi

finish "check(s) of $prefix failed" "every installed file is in place and works: $prefix"
