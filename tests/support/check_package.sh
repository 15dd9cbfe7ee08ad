#!/usr/bin/env bash
# Builds the Debian package from the configured build tree, unpacks it into a temporary
# root, and checks its contents and that every library the program needs is declared.
set -euo pipefail
build="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb=$(ls "$work"/out/*.deb)
root="$work/root"
dpkg-deb -x "$deb" "$root"

fail() { echo "FAIL: $*" >&2; exit 1; }
[ -x "$root/opt/tq9-bench/tq95_finalize" ] || fail "program missing"
[ -L "$root/usr/bin/tq9-bench" ] || fail "launcher missing"
[ "$(readlink "$root/usr/bin/tq9-bench")" = /opt/tq9-bench/tq95_finalize ] || fail "launcher points elsewhere"
[ -x "$root/opt/tq9-bench/tq9ctl" ] || fail "tq9ctl missing"
[ "$(readlink "$root/usr/bin/tq9ctl")" = /opt/tq9-bench/tq9ctl ] || fail "tq9ctl not on the PATH"
[ -f "$root/usr/share/applications/tq9-bench.desktop" ] || fail "desktop entry missing"
grep -q '^Exec=tq9-bench$' "$root/usr/share/applications/tq9-bench.desktop" || fail "desktop entry runs something else"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/tq9-bench.svg" ] || fail "icon missing"
grep -q 'GROUP="plugdev"' "$root/usr/lib/udev/rules.d/60-tq9-bench-ftdi.rules" || fail "udev rule missing"
[ ! -e "$root/opt/tq9-bench/libftd2xx.so" ] || fail "the simulated driver must not be shipped"

depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Depends: $depends"
case "$recommends" in *avrdude*) ;; *) fail "avrdude not recommended" ;; esac
# Every shared library the program loads must come from a declared package.
for lib in $(objdump -p "$root/opt/tq9-bench/tq95_finalize" | awk '/NEEDED/ {print $2}'); do
  # (awk reads to the end: an early exit would break the pipe under pipefail)
  path=$(ldconfig -p | awk -v l="$lib" '$1 == l && !found {print $NF; found = 1}')
  [ -n "$path" ] || fail "$lib not found on this machine"
  pkg=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | awk -F: 'NR == 1 {print $1}') || true
  [ -n "$pkg" ] || pkg=$(dpkg -S "$path" 2>/dev/null | awk -F: 'NR == 1 {print $1}') || true
  [ -n "$pkg" ] || fail "no package owns $lib"
  case ", $depends," in *", $pkg "*|*", $pkg,"*|*"| $pkg "*|*"| $pkg,"*) ;; *) fail "$lib comes from $pkg, which is not declared" ;; esac
done
echo "package contents and dependencies check out"
