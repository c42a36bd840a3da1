#!/usr/bin/env bash
# Installs what is missing, builds the tool and makes its Debian packages in
# build/packages/: qv450, and qv450-relay when the relay server is part of the build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
(cd build && cpack -B "$PWD/packages" >/dev/null)
rm -rf build/packages/_CPack_Packages
ls -1 build/packages/*.deb
