#!/usr/bin/env bash
# Builds the Debian packages with `cpack -G DEB` in BUILD_DIR (default build-deb, configured for
# prefix /usr), checks their contents with `dpkg-deb -c` and their dependencies, then unpacks both
# into a temporary tree and builds and runs the package consumers (CMake and pkg-config) against it.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-deb}

cmake -S . -B "$build" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=Release \
      -DVELMORA_BUILD_TESTS=OFF -DVELMORA_WERROR=ON
cmake --build "$build" -j2
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)

version=$(sed -n 's/^#define VELMORA_VERSION "\(.*\)"$/\1/p' "$build/include/velmora/Version.h")
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || "${CXX:-c++}" -print-multiarch)
runtime="$build/velmora_${version}-1_${arch}.deb"
dev="$build/velmora-dev_${version}-1_${arch}.deb"
lib=/usr/lib/$multiarch

fail() {
  echo "check-debs: $*" >&2
  exit 1
}
files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort; }
# expect DEB PATH...: every PATH is a file of DEB.
expect() {
  local deb=$1 listing
  shift
  listing=$(files "$deb")
  for path in "$@"; do
    grep -qxF "$path" <<<"$listing" || fail "$(basename "$deb") lacks $path"
  done
}

runtimeFiles=("$lib/libvelmoracom.so" /usr/bin/velmora-regsvr
              /usr/share/doc/velmora/README.md /usr/share/doc/velmora/CHANGELOG.md)
[ -d tools/velmora ] && runtimeFiles+=(/usr/bin/velmora)
for page in docs/man/*.1; do runtimeFiles+=("/usr/share/man/man1/$(basename "$page")"); done
expect "$runtime" "${runtimeFiles[@]}"
expect "$dev" /usr/include/velmora/Client.h /usr/include/velmora/Version.h \
       "$lib/libvelmora_client.a" "$lib/libvelmora_platform.a" "$lib/pkgconfig/velmora.pc" \
       "$lib/cmake/Velmora/VelmoraConfig.cmake" "$lib/cmake/Velmora/VelmoraConfigVersion.cmake" \
       "$lib/cmake/Velmora/VelmoraTargets.cmake"
# dpkg refuses to install two packages that share a file; the sample program ships in neither.
shared=$(comm -12 <(files "$runtime") <(files "$dev"))
[ -z "$shared" ] || fail "files in both packages: $shared"
if files "$runtime" | grep -qE '^/usr/(include/|bin/democlient$)|\.a$'; then
  fail "$(basename "$runtime") holds development files or the sample"
fi
if files "$dev" | grep -qE '^/usr/bin/|\.so$|/man/'; then
  fail "$(basename "$dev") holds runtime files"
fi

devDepends=$(dpkg-deb -f "$dev" Depends)
grep -qF "velmora (= ${version}-1)" <<<"$devDepends" || fail "velmora-dev depends on: $devDepends"
runtimeDepends=$(dpkg-deb -f "$runtime" Depends)
for package in libc6 libstdc++6; do
  tr ',' '\n' <<<"$runtimeDepends" | awk '{ print $1 }' | grep -qxF "$package" ||
    fail "velmora depends on: $runtimeDepends"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$runtime" "$work/tree"
dpkg-deb -x "$dev" "$work/tree"
cmake -DPREFIX="$work/tree/usr" -DSOURCE_DIR="$PWD" -DWORK_DIR="$work/check" \
      -DLIBDIR="lib/$multiarch" -DCXX_COMPILER="$(command -v "${CXX:-c++}")" -DVERSION="$version" \
      -P tests/package/CheckPackage.cmake
echo "check-debs: $(basename "$runtime") and $(basename "$dev") are complete; consumers built and ran"
echo "  velmora Depends: $runtimeDepends"
echo "  velmora-dev Depends: $devDepends"
