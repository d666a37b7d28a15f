#!/usr/bin/env bash
# Checks the package that scripts/package.sh made: lintian (no errors; the
# warnings are listed), the AppStream metainfo, and the programs extracted
# from it with `dpkg -x` answering --help without the build tree's libraries.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${QUORVEL_BUILD_DIR:-build}"
shopt -s nullglob
debs=("$build"/quorvel_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  echo "Expected one quorvel_*.deb in $build (run scripts/package.sh): found ${#debs[@]}" >&2
  exit 1
fi
deb=${debs[0]}

echo "== lintian $deb"
lintian --fail-on error --tag-display-limit 0 "$deb" | tee "$build/lintian.txt"
echo "lintian: $(grep -c '^E:' "$build/lintian.txt" || true) errors, $(grep -c '^W:' "$build/lintian.txt" || true) warnings"

echo "== appstreamcli validate"
appstreamcli validate --no-net packaging/org.quorvel.Quorvel.metainfo.xml

echo "== programs from the package"
root="$(mktemp -d "${TMPDIR:-/tmp}/quorvel-deb.XXXXXX")"
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
for program in quorvel-cli quorvel-slave quorvel; do
  env -u LD_LIBRARY_PATH "$root/usr/bin/$program" --help >"$root/help.txt"
  echo "$program --help: $(head -n 1 "$root/help.txt")"
done
echo "Package files:"
dpkg -c "$deb" | awk '{ print $NF }' | grep -v '/$'
