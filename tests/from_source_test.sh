#!/usr/bin/env bash
# The README's commands build from source on a fresh clone: configuring the
# release preset fetches the third-party source it compiles in, and leaves
# the system's apt configuration as it was.
#   from_source_test.sh SOURCE_DIR
set -euo pipefail
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
apt_before=$(find /etc/apt -type f -exec md5sum {} + | sort)
git clone -q "$source" "$work/clone"
(cd "$work/clone" && cmake --preset release >"$work/configure.log" 2>&1) ||
    { echo "FAILED: cmake --preset release on a fresh clone"; cat "$work/configure.log"; exit 1; }
for header in libdeflate-1.14/libdeflate.h zopfli-1.0.3/src/zopfli/zopfli.h expat-2.5.0/expat/lib/expat.h; do
    [ -f "$work/clone/build/third_party/$header" ] || { echo "FAILED: no $header"; exit 1; }
done
[ "$(find /etc/apt -type f -exec md5sum {} + | sort)" = "$apt_before" ] ||
    { echo "FAILED: /etc/apt changed"; exit 1; }
echo "ok: a fresh clone configures, with libdeflate's, zopfli's and expat's source fetched and /etc/apt as it was"
