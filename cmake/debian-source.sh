#!/usr/bin/env bash
# Unpacks the Debian source package of a library into a folder, for the
# Windows build to compile (there is no MinGW package of it).
#   cmake/debian-source.sh PACKAGE DIR      e.g. libspng build/deps
# Needs root when no deb-src entry exists yet: one is added beside the
# system's deb entries.
set -euo pipefail
package=$1
dir=$2
mkdir -p "$dir"
cd "$dir"
if ls -d "$package"-*/ >/dev/null 2>&1; then
    exit 0  # unpacked before
fi
if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            >/etc/apt/sources.list.d/debian-src.sources
    else
        grep -hE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            sed 's/^deb /deb-src /' >/etc/apt/sources.list.d/debian-src.list
    fi
    apt-get update
fi
apt-get source "$package"
