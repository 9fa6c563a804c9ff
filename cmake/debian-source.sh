#!/usr/bin/env bash
# Unpacks the Debian source package of a library into a folder, for the
# Windows build to compile (there is no MinGW package of it).
#   cmake/debian-source.sh PACKAGE DIR      e.g. libspng build/deps
set -euo pipefail
package=$1
dir=$2
if ! grep -rqs "deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
        >/etc/apt/sources.list.d/debian-src.sources
    apt-get update
fi
mkdir -p "$dir"
cd "$dir"
ls -d "$package"-*/ >/dev/null 2>&1 || apt-get source "$package"
