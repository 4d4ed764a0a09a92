#!/usr/bin/env bash
# Builds the browser page and the four packages from this checkout and puts
# them, with their SHA256SUMS, into one folder:
#   packaging/release.sh OUT_DIR
# The packages carry the commit's time, so the same commit gives the same
# bytes: a build in another folder and at another time gives the same sums.
set -euo pipefail
mkdir -p "$1"
out=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."
mkdir -p build
version=$(sed -n 's/^project(quillmar VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# The page first: both Windows ZIPs carry it.
{ cmake --preset page && cmake --build --preset page --target page; } >build/release-page.log 2>&1 ||
  { cat build/release-page.log; exit 1; }
for preset in deb tarball windows windows32; do
  cmake --workflow --preset $preset >build/release-$preset.log 2>&1 ||
    { cat build/release-$preset.log; exit 1; }
done
rm -f "$out"/quillmar[-_]* "$out"/SHA256SUMS
cp build/deb/quillmar_$version-1_amd64.deb build/tarball/quillmar-$version-Linux-x86_64.tar.gz \
  build/windows/quillmar-$version-win64.zip build/windows32/quillmar-$version-win32.zip \
  build/page/quillmar-$version.html "$out"/
(cd "$out" && sha256sum quillmar[-_]* >SHA256SUMS)
cat "$out"/SHA256SUMS
