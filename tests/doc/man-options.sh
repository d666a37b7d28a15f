#!/bin/sh
# Usage: man-options.sh PAGE PROGRAM
# The long options in the OPTIONS section of manual page PAGE must be the
# options that `PROGRAM --help` lists (lines starting with blanks and an
# option). Prints the difference and fails when they differ.
set -eu
export LC_ALL=C
page=$1
program=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Option lines of the page: the font requests (.B, .BI, .BR) in OPTIONS.
sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | grep -E '^\.B[IR]? ' |
  sed 's/\\-/-/g' | grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u >"$tmp/page"
"$program" --help >"$tmp/help"
grep -oE -- '^ +(-[A-Za-z0-9], )?--[a-z0-9][a-z0-9-]*' "$tmp/help" | grep -oE -- '--[a-z0-9-]+' | sort -u >"$tmp/options"

if [ ! -s "$tmp/options" ]; then
  echo "$program --help lists no options" >&2
  exit 1
fi
if ! cmp -s "$tmp/options" "$tmp/page"; then
  echo "$page and $program --help list different options:" >&2
  comm -23 "$tmp/options" "$tmp/page" | sed 's/^/  only in --help: /' >&2
  comm -13 "$tmp/options" "$tmp/page" | sed 's/^/  only in the page: /' >&2
  exit 1
fi
echo "$(basename "$page"): $(wc -l <"$tmp/options") options as in --help"
