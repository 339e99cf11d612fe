#!/usr/bin/env bash
# Installs the built program into a temporary DESTDIR, as a distribution's
# packaging would, and checks what landed: the program, its desktop entry,
# its manual page (rendered without a warning) and the example data; then
# builds the Debian package and checks its declared dependencies. Exits 77
# (skipped) when a tool it needs is missing.
#
#   install_test.sh SOURCE_DIR BUILD_DIR WINDOW_CLASS VERSION
set -euo pipefail
source_dir="$1" build_dir="$2" window_class="$3" version="$4"

for tool in man desktop-file-validate dpkg-deb cpack; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$work/root" cmake --install "$build_dir" --prefix /usr >"$work/install.log"
root="$work/root/usr"

# The program, runnable from where it landed.
[ -x "$root/bin/dravenholt" ] || fail "bin/dravenholt is missing or not executable"
[ "$("$root/bin/dravenholt" --version)" = "dravenholt $version" ] || fail "installed program's --version"

# The desktop entry: valid, starting the program, matching its window class.
desktop="$root/share/applications/dravenholt.desktop"
[ -f "$desktop" ] || fail "no desktop entry"
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
grep -qx "Exec=dravenholt" "$desktop" || fail "desktop entry does not start dravenholt"
grep -qx "StartupWMClass=$window_class" "$desktop" || fail "desktop entry's window class is not $window_class"

# The manual page renders without a warning and covers what a user looks up.
page="$root/share/man/man1/dravenholt.1"
[ -f "$page" ] || fail "no manual page"
MANWIDTH=80 man --warnings -l "$page" >"$work/page.txt" 2>"$work/page.err" || fail "man -l failed"
[ ! -s "$work/page.err" ] || { cat "$work/page.err" >&2; fail "man -l warned"; }
for heading in NAME SYNOPSIS OPTIONS "EXIT STATUS" FILES ENVIRONMENT; do
    grep -q "^$heading" "$work/page.txt" || fail "manual page lacks $heading"
done
for mention in "--export" "--size" "Dravenholt.gif" "DravenholtSummary.js" "registry.reg" "Data/labels.txt"; do
    grep -qF -- "$mention" "$work/page.txt" || fail "manual page does not mention $mention"
done
grep -qF "dravenholt $version" "$work/page.txt" || fail "manual page does not carry version $version"

# The sample data as an example, complete.
examples="$root/share/doc/dravenholt/examples/Data"
for f in eSPY.txt iDJI.txt fES.M10.txt RibbonInfo.txt CNBC_Elapsed.txt labels.txt Ribbon; do
    [ -e "$examples/$f" ] || fail "example data lacks $f"
done

# Nothing else: every installed file is one of the above.
(cd "$work/root" && find . -type f | sort) >"$work/files"
if grep -v -e '^./usr/bin/dravenholt$' -e '^./usr/share/applications/dravenholt.desktop$' \
    -e '^./usr/share/man/man1/dravenholt.1$' -e '^./usr/share/doc/dravenholt/examples/Data/' "$work/files"; then
    fail "unexpected files installed (above)"
fi

# The Debian package declares what the program needs at run time.
(cd "$work" && cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb="$(ls "$work"/package/dravenholt_*.deb)"
depends="$(dpkg-deb -f "$deb" Depends)"
for library in libfreetype6 libfontconfig1 libx11-6 libc6 libstdc++6 fonts-dejavu-core; do
    grep -qF "$library" <<<"$depends" || fail "package does not depend on $library (Depends: $depends)"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
contents="$(dpkg-deb -c "$deb")"
grep -q '\./usr/bin/dravenholt$' <<<"$contents" || fail "package lacks usr/bin/dravenholt"

# The README lists exactly the packages tools/packages installs.
table="$("$source_dir/tools/packages" table)"
readme="$(cat "$source_dir/README.md")"
[[ "$readme" == *"$table"* ]] || fail "README's package table differs from \`tools/packages table\`"
echo "install layout, desktop entry, manual page and package are as expected"
