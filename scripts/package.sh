#!/usr/bin/env bash
# Builds what the packages need and makes them:
#   build/package/velmorloom_VERSION_ARCH.deb     Debian package, made with dpkg-deb from
#       `cmake --install --strip` of the linux preset, dependencies by dpkg-shlibdeps;
#   build/package/velmorloom-VERSION-windows.zip  32-bit/ and 64-bit/ folders (plug-in
#       DLL, standalone program, renderer; the 64-bit CLAP plug-in when it is built),
#       the factory bank and the user's guide.
# The last two lines of the output are the paths of the two files, in that order.
#
# Environment: VL_SKIP_INSTALL=1 skips the installation of the build packages.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)

if [[ ${VL_SKIP_INSTALL:-0} != 1 ]]; then
  bash scripts/install-deps.sh
fi

version=$(sed -n 's/^project(VelmorLoom VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ -n $version ]] || { echo "error: no version in CMakeLists.txt" >&2; exit 1; }
out=$root/build/package
rm -rf "$out"
mkdir -p "$out"

# Only what is installed is built (target vl_installables), in the presets' folders, so
# that a build of the tests is reused and not repeated.
for preset in linux win32 win64; do
  echo "== build $preset"
  cmake --preset "$preset" >"$out/configure-$preset.log" || { cat "$out/configure-$preset.log"; exit 1; }
  cmake --build --preset "$preset" --target vl_installables
done

# ------------------------------------------------------------------ Debian package
echo "== Debian package"
arch=$(dpkg --print-architecture)
stage=$out/deb
DESTDIR=$stage cmake --install build/linux --prefix /usr --strip >/dev/null
doc=$stage/usr/share/doc/velmorloom
# Debian's rules for documentation: manual pages and the changelog compressed (without
# time stamps, so that the package is reproducible), the copyright beside the guide.
gzip -9n "$stage"/usr/share/man/man1/*.1
gzip -9nc packaging/debian/changelog >"$doc/changelog.gz"
install -m 644 packaging/debian/copyright "$doc/copyright"

# Every ELF file stripped as Debian strips them (--strip covers only what CMake installs
# as targets, not, say, the module inside the LV2 bundle), then its shared-library
# dependencies found by dpkg-shlibdeps (which reads a control file of a source package,
# made here for it).
elves=()
while IFS= read -r -d '' f; do
  if [[ $(head -c 4 "$f" | od -An -tx1 | tr -d ' \n') == 7f454c46 ]]; then elves+=("$f"); fi
done < <(find "$stage/usr" -type f -print0)
strip --strip-unneeded --remove-section=.comment --remove-section=.note "${elves[@]}"
mkdir -p "$out/shlibdeps/debian"
printf 'Source: velmorloom\n\nPackage: velmorloom\nArchitecture: any\n' >"$out/shlibdeps/debian/control"
depends=$(cd "$out/shlibdeps" && dpkg-shlibdeps -O -e"${elves[@]}" 2>"$out/shlibdeps.log" |
  sed -n 's/^shlibs:Depends=//p')
[[ -n $depends ]] || { cat "$out/shlibdeps.log" >&2; echo "error: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

mkdir -p "$stage/DEBIAN"
size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
  packaging/debian/control.in >"$stage/DEBIAN/control"
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
chmod 644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
deb=$out/velmorloom_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null

# ------------------------------------------------------------------ Windows archive
echo "== Windows archive"
name=velmorloom-$version-windows
zipdir=$out/zip/$name
for bits in 32 64; do
  preset=win$bits
  cmake --install "build/$preset" --prefix "$out/$preset" >/dev/null
  mkdir -p "$zipdir/$bits-bit"
  cp "$out/$preset"/bin/* "$zipdir/$bits-bit/"
  # stripped of their symbol tables (the export table stays), then the same checks as
  # the builds' tests: system DLLs only, the plug-in exports "main" only
  strip=$(sed -n 's/^CMAKE_STRIP:[A-Z]*=//p' "build/$preset/CMakeCache.txt")
  "$strip" --strip-unneeded "$zipdir/$bits-bit"/*
  objdump=$(sed -n 's/^CMAKE_OBJDUMP:[A-Z]*=//p' "build/$preset/CMakeCache.txt")
  bash scripts/check-binaries.sh pe-imports "$objdump" "$zipdir/$bits-bit"/*
  bash scripts/check-binaries.sh pe-exports "$objdump" "$zipdir/$bits-bit/VELMORLOOM.dll"
done
cp build/linux/share/factory.fxb "$zipdir/"
# The guide as text with Windows line ends, and its pictures.
sed 's/$/\r/' docs/guide.md >"$zipdir/Velmor Loom Guide.txt"
cp -r docs/images "$zipdir/images"
zip_file=$out/$name.zip
(cd "$out/zip" && zip -q -r -X "$zip_file" "$name")

echo
echo "Packages:"
echo "$deb"
echo "$zip_file"
