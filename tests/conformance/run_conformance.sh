#!/usr/bin/env bash
# Draws the GDI conformance cases through our platform and through Windows'
# GDI (the mingw-w64 build of the same harness, under Wine), compares every
# pixel and prints the differing cases and a summary.
#
#   run_conformance.sh LINUX_HARNESS WINDOWS_HARNESS_EXE [WINEPREFIX]
#
# The prefix defaults to $WINEPREFIX. Exits 0 when every difference is one of
# Wine's known deviations from Windows, 1 on any other difference, 2 when a
# side could not be run.
set -euo pipefail
linux="${1:?usage: run_conformance.sh LINUX_HARNESS WINDOWS_HARNESS_EXE [WINEPREFIX]}"
windows="${2:?usage: run_conformance.sh LINUX_HARNESS WINDOWS_HARNESS_EXE [WINEPREFIX]}"
export WINEPREFIX="${3:-${WINEPREFIX:?no Wine prefix: give one or set WINEPREFIX}}"
export WINEDEBUG="${WINEDEBUG:--all}"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

if ! "$linux" "$work/ours.dump"; then
    echo "the Linux harness failed" >&2
    exit 2
fi
# Under Wine the Linux root is drive Z:.
if ! "$wine" "$windows" "Z:${work//\//\\}\\theirs.dump" || [ ! -s "$work/theirs.dump" ]; then
    echo "the Windows harness failed under Wine (prefix $WINEPREFIX)" >&2
    exit 2
fi
# The first few unexplained differences are drawn, ours beside Windows'.
"$linux" --compare "$work/ours.dump" "$work/theirs.dump" --show 3
