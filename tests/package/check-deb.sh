#!/usr/bin/env bash
# The Debian package of the host tools and the server: made from the release
# preset, listed, unpacked into a scratch folder, and every tool there answers
# --help with 0.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cmake --preset release >/dev/null
cmake --build --preset release --target ffspack regdecode makerd >/dev/null
(cd build/release && cpack -G DEB >/dev/null 2>&1)
deb=$(ls build/release/uninstall-maker_1.50_*.deb)
listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/ffspack ./usr/bin/regdecode ./usr/bin/makerd \
            ./usr/share/doc/uninstall-maker/maker-guide.md ./usr/share/doc/uninstall-maker/sample-product.txt; do
  grep -qx "$path" <<<"$listing" || { echo "missing from $deb: $path"; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q libssl || { echo "no dependency on OpenSSL"; exit 1; }
dpkg-deb -f "$deb" Recommends | grep -qw nsis || { echo "nsis is not recommended"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch"
for tool in ffspack regdecode makerd; do
  "$scratch/usr/bin/$tool" --help | grep -qi usage || { echo "$tool --help says no usage"; exit 1; }
done
echo "$deb: every path there, every tool answers --help"
