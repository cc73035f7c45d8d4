#!/bin/bash
# Installs the build with prefix /usr into a staging directory (DESTDIR) and
# checks the tree a packager gets: the filter in CUPS' filter directory,
# libqzpk shared (with its SONAME) and static, its headers and pkg-config
# file usable by a C program, the man page, the example PPD (cupstestppd
# against the staged tree), and the stand-in modules only on request.
#
# Usage: install_test.sh BUILD_DIR SANITIZE(ON/OFF)
set -u

build=$1 sanitize=${2:-OFF}
failures=0
say() { printf 'install_test: %s\n' "$*"; }
fail() { say "FAIL: $*"; failures=$((failures + 1)); }

work=$(mktemp -d "${TMPDIR:-/tmp}/tovefilt-install.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
stage=$work/stage

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
serverbin=$(cache_value TOVEFILT_CUPS_SERVERBIN)
case "$serverbin" in /*) ;; *) serverbin=/usr/$serverbin ;; esac

DESTDIR=$stage cmake --install "$build" --prefix /usr > "$work/install.log" 2>&1 \
  || { cat "$work/install.log"; say "FAIL: cmake --install"; exit 1; }

# The filter: where cupsd looks, 0755, nothing group- or world-writable.
f=$stage$serverbin/filter/tovefilt
if [ ! -f "$f" ]; then
  fail "no filter at ${f#$stage}"
else
  [ "$(stat -c %a "$f")" = 755 ] || fail "filter mode $(stat -c %a "$f"), want 755"
  [ "$(id -u)" != 0 ] || [ "$(stat -c %u "$f")" = 0 ] || fail "filter not owned by root"
fi

# libqzpk: one shared library with a SONAME, its links, the static archive.
lib=$(find "$stage" -name 'libqzpk.so.0.*' -type f)
if [ -z "$lib" ]; then
  fail "no libqzpk.so.0.* installed"
else
  libdir=$(dirname "$lib")
  soname=$(objdump -p "$lib" | sed -n 's/^ *SONAME *//p')
  [ "$soname" = libqzpk.so.0 ] || fail "SONAME '$soname', want libqzpk.so.0"
  [ -L "$libdir/libqzpk.so.0" ] && [ -L "$libdir/libqzpk.so" ] || fail "libqzpk.so links missing"
  [ -f "$libdir/libqzpk.a" ] || fail "no libqzpk.a beside the shared library"
  for sym in qzpkNew qzpkSendData qzprocWriteCommand parseAttrText; do
    nm -D --defined-only "$lib" | grep -qw "$sym" || fail "libqzpk.so does not export $sym"
  done
  for h in attr_list.h qzproc.h qzpk.h; do
    [ -f "$stage/usr/include/qzpk/$h" ] || fail "no include/qzpk/$h"
  done
  pc=$libdir/pkgconfig/qzpk.pc
  grep -qx 'prefix=/usr' "$pc" 2>/dev/null || fail "qzpk.pc missing or its prefix is not /usr"

  # A C driver builds against the staged library through pkg-config.
  cat > "$work/driver.c" <<'EOF'
#include <qzpk.h>
#include <qzproc.h>
#include <attr_list.h>
#include <stdio.h>
#include <stdlib.h>

int main(void)
{
  AttrNode *attrs = NULL;
  if (parseAttrText(&attrs, "QZCopies=2;Duplex=DuplexNoTumble;") < 0)
    return 1;
  int16_t updated = 0;
  char *v = attrGet(attrs, "duplex", &updated);
  int ok = v != NULL && v[0] == 'D';
  free(v);
  attrFreeAll(attrs);
  puts(ok ? "ok" : "bad");
  return ok ? 0 : 1;
}
EOF
  flags=()
  [ "$sanitize" = ON ] && flags=(-fsanitize=address,undefined)
  export PKG_CONFIG_SYSROOT_DIR=$stage PKG_CONFIG_PATH=$libdir/pkgconfig
  if ! pc_flags=$(pkg-config --cflags --libs qzpk 2>&1); then
    fail "pkg-config qzpk: $pc_flags"
  elif ! cc -std=c11 -Wall -Werror "${flags[@]}" -o "$work/driver" "$work/driver.c" $pc_flags \
         2> "$work/cc.log"; then
    cat "$work/cc.log"; fail "a C program does not build against the installed headers and library"
  elif [ "$(LD_LIBRARY_PATH=$libdir "$work/driver")" != ok ]; then
    fail "a C program linked with libqzpk.so does not run"
  fi
  if ! static_libs=$(pkg-config --static --libs qzpk 2>&1); then
    fail "pkg-config --static qzpk: $static_libs"
  elif ! cc -std=c11 "${flags[@]}" -o "$work/driver-static" "$work/driver.c" \
         $(pkg-config --cflags qzpk) "$libdir/libqzpk.a" ${static_libs/-lqzpk/} 2> "$work/cc.log"; then
    cat "$work/cc.log"; fail "a C program does not link with libqzpk.a and the static flags"
  elif [ "$("$work/driver-static")" != ok ]; then
    fail "a C program linked with libqzpk.a does not run"
  fi
fi

# The man page, rendered without a warning.
man=$stage/usr/share/man/man8/tovefilt.8
if [ ! -f "$man" ]; then
  fail "no man8/tovefilt.8"
elif command -v groff >/dev/null; then
  warnings=$(groff -man -Tutf8 -ww -z "$man" 2>&1)
  [ -z "$warnings" ] || fail "groff warns about tovefilt.8: $warnings"
fi

# The example PPD, checked against the staged filter.
ppd=$stage/usr/share/tovefilt/tovefilt-example.ppd
if [ ! -f "$ppd" ]; then
  fail "no share/tovefilt/tovefilt-example.ppd"
elif command -v cupstestppd >/dev/null; then
  cupstestppd -R "$stage" "$ppd" > "$work/cupstestppd.log" 2>&1 \
    || { cat "$work/cupstestppd.log"; fail "cupstestppd fails the example PPD"; }
  grep -q '^\*cupsFilter: .* tovefilt"' "$ppd" && grep -q '^\*cupsFilter2: .* tovefilt"' "$ppd" \
    || fail "the example PPD does not name tovefilt in both *cupsFilter and *cupsFilter2"
fi

# Stand-in modules: never by default, and on request as their own component.
found=$(find "$stage" -name 'yxpk*')
[ -z "$found" ] || fail "a default install ships the stand-in modules: $found"
DESTDIR=$work/modules cmake --install "$build" --prefix /usr --component standin-modules \
  > "$work/modules.log" 2>&1 || { cat "$work/modules.log"; fail "install --component standin-modules"; }
for m in yxpkmodulelumor yxpkbidir; do
  [ -x "$work/modules/usr/bin/$m" ] || fail "the standin-modules component lacks usr/bin/$m"
done

[ "$failures" = 0 ] || { say "$failures check(s) failed"; exit 1; }
say "all checks passed"
