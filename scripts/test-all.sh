#!/usr/bin/env bash
# Builds and runs every test: the fuzz targets for a bounded time, the native suite under the
# sanitizers, then the Windows build with its tests under Wine (which use the native fakesim the
# suite built; its summary closes the run). Installs what is missing on Debian 12.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh all || exit 1  # what is missing, named once and installed before any step
status=0
scripts/fuzz.sh || status=1
scripts/test.sh || status=1
scripts/test-windows.sh || status=1
exit $status
