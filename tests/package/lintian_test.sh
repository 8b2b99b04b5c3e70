#!/usr/bin/env bash
# Builds the Debian package from a build tree with cpack and checks it with
# lintian: no error, no gzip file with a time stamp (the package must be
# reproducible), and a changelog whose latest entry is the package's version.
# Exit status 77 (skipped) where lintian is not installed.
# Usage: lintian_test.sh CPACK BUILD_DIR
set -euo pipefail
cpack=$1 build=$2

if ! command -v lintian > /dev/null; then
  echo "lintian is not installed (scripts/install-deps.sh package); skipped"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/oxbuild-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  exit 1
}
deb=$(echo "$work"/*.deb)
[ -f "$deb" ] || { echo "cpack made no package"; cat "$work/cpack.log"; exit 1; }

status=0
lintian --fail-on error --color never "$deb" > "$work/lintian.log" 2>&1 || status=1
grep -v '^running with root privileges' "$work/lintian.log" || true
if grep -q 'package-contains-timestamped-gzip' "$work/lintian.log"; then status=1; fi

version=$(dpkg-deb -f "$deb" Version)
dpkg-deb -x "$deb" "$work/root"
latest=$(gzip -dc "$work/root/usr/share/doc/oxbuild/changelog.gz" | sed -n '1s/^oxbuild (\([^)]*\)).*/\1/p')
if [ "$latest" != "$version" ]; then
  echo "the changelog's latest entry is ${latest:-missing}, the package is $version"
  status=1
fi
[ $status -eq 0 ] && echo "lintian: $(basename "$deb") has no error"
exit $status
