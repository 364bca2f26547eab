#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix (the install must be
# relocatable), builds one host with find_package(lumosdk) and one with pkg-config, and runs
# them; the find_package host and the minimal example in examples/ register with a backend
# simulator started here.
# Usage: run_install_test.sh BUILD_DIR LUMO_BACKEND_PROGRAM CXX_COMPILER
#        run_install_test.sh --prefix PREFIX LUMO_BACKEND_PROGRAM CXX_COMPILER
#        (an install made elsewhere, such as the Debian packages unpacked into a folder)
set -euo pipefail
installed=
if [[ $1 == --prefix ]]; then installed=$2; shift 2; set -- "" "$@"; fi
build=$1 backend_program=$2 cxx=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
backend_pid=
cleanup() {
  if [[ -n $backend_pid ]]; then kill "$backend_pid" 2>/dev/null; wait "$backend_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if [[ -n $installed ]]; then
  prefix=$installed
else
  cmake --install "$build" --prefix "$work/staged" >"$work/install.log"
  mv "$work/staged" "$work/prefix"
  prefix=$work/prefix
fi
libdir=$(dirname "$(find "$prefix" -name 'liblumosdk.so.*.*.*' | head -n1)")
[[ -d $libdir ]] || fail "no liblumosdk installed"

for lib in lumosdk lumoplatform; do
  soname=$(readelf -d "$libdir"/lib$lib.so.*.*.* | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
  [[ $soname == lib$lib.so.0 ]] || fail "lib$lib soname is '$soname'"
  [[ -L $libdir/lib$lib.so.0 && -L $libdir/lib$lib.so ]] || fail "lib$lib links missing"
done
for header in lumosdk/LumoSdk.h lumosdk/pages/LumoDetailPage.h lumosdk/utils/DialogUtil.h platform/ui/View.h \
              platform/dispatch/MainLoop.h platform/net/TrustStore.h; do
  [[ -f $prefix/include/$header ]] || fail "header $header not installed"
done
[[ ! -e $prefix/include/platform/ui/detail ]] || fail "internal platform headers installed"
[[ -f $prefix/share/lumosdk/resources/vehicle_icon.png ]] || fail "resources not installed"
! grep -rq "$(cd "$here/../.." && pwd)" "$libdir/cmake" "$libdir/pkgconfig" || fail "package files name the source tree"

# pkg-config host
export PKG_CONFIG_PATH=$libdir/pkgconfig
flags=$(pkg-config --cflags --libs lumosdk) || fail "pkg-config does not know lumosdk"
"$cxx" -std=c++20 "$here/pkgconfig_host/main.cpp" $flags -Wl,-rpath,"$libdir" -o "$work/pkgconfig_host"
LUMO_SANDBOX_DIR=$work/sandbox-pc "$work/pkgconfig_host" || fail "pkg-config host failed"

# find_package host, against the backend simulator
cmake -S "$here/find_package_host" -B "$work/host" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/host-configure.log" || { cat "$work/host-configure.log"; fail "configure"; }
cmake --build "$work/host" >"$work/host-build.log" || { cat "$work/host-build.log"; fail "build"; }
mkdir -p "$work/cert"
coproc BACKEND { exec "$backend_program" --port 0 --cert-dir "$work/cert" 2>&1; }
backend_pid=$BACKEND_PID
url= certificate=
while IFS= read -r -t 30 line <&"${BACKEND[0]}"; do
  echo "$line" >>"$work/backend.log"
  case $line in
    "lumo_backend listening on "*) url=${line#lumo_backend listening on } ;;
    "certificate: "*) certificate=${line#certificate: }; break ;;
  esac
done
[[ -n $url && -n $certificate ]] || { cat "$work/backend.log"; fail "backend did not start"; }
output=$(LUMO_SANDBOX_DIR=$work/sandbox "$work/host/lumo_install_host" "$url" "$certificate") ||
  { echo "$output"; fail "find_package host failed"; }
echo "$output"
grep -q "^initSdk: success$" <<<"$output" || fail "registration did not succeed"
grep -q "^resources: $prefix/share/lumosdk (vehicle_icon found)$" <<<"$output" || fail "resources not found beside the library"

# the minimal example host, against the same backend
example=$here/../../examples/minimal_host
cmake -S "$example" -B "$work/example" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/example-configure.log" || { cat "$work/example-configure.log"; fail "example configure"; }
cmake --build "$work/example" >"$work/example-build.log" || { cat "$work/example-build.log"; fail "example build"; }
output=$(LUMO_SANDBOX_DIR=$work/sandbox-example "$work/example/lumo_minimal_host" "$url" "$certificate") ||
  { echo "$output"; fail "minimal example failed"; }
echo "$output"
grep -q "^control page on screen: yes, landscape allowed: yes$" <<<"$output" || fail "the example did not reach the control page"
echo "install test passed"
