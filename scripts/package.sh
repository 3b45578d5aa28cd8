#!/usr/bin/env bash
# Builds the Debian package from the default build (stripped, with its debug information left
# out) and runs lintian on it. The package lands in build/quillon_VERSION-RELEASE_ARCH.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
cmake --build build --target package
deb=$(ls build/quillon_*.deb)
echo "package: $deb"
if command -v lintian >/dev/null; then
    lintian "$deb" || true
fi
