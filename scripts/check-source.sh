#!/usr/bin/env bash
# Checks that keep the source tree as ARCHITECTURE.md describes it:
#  - every C++ file is formatted as .clang-format says;
#  - operating-system headers are included only in the platform folders and in
#    the programs that need a pseudo-terminal (simulator, tests, benches, tools);
#  - Qt is included only by the window and the module widgets (and their tests,
#    benches and screenshot tools), never by the layers below them.
set -euo pipefail
cd "$(dirname "$0")/.."
failed=0
mapfile -t sources < <(git ls-files '*.cpp' '*.h')

format=clang-format-14
command -v "$format" >/dev/null || format=clang-format
if ! "$format" --dry-run --Werror "${sources[@]}"; then
  echo "check-source: run clang-format -i on the files above" >&2
  failed=1
fi

os_headers='^\s*#\s*include\s*<(unistd|fcntl|termios|poll|pty|dirent|signal|pthread|windows|winbase|setupapi|sys/[a-z_]+)\.h>'
os_allowed='^(serial/posix|serial/win32|sim|tests|bench|tools)/'
qt_headers='^\s*#\s*include\s*<Q[A-Za-z]*>'
qt_allowed='^(app/|module/|tests/app/|tests/module/|tests/support/Qt|bench/|tools/)'
qt_forbidden='^(module/core|tests/module/core)/'
for f in "${sources[@]}"; do
  if [[ ! $f =~ $os_allowed ]] && grep -qE "$os_headers" "$f"; then
    echo "check-source: $f includes an operating-system header outside the platform folders:" >&2
    grep -nE "$os_headers" "$f" >&2
    failed=1
  fi
  if { [[ ! $f =~ $qt_allowed ]] || [[ $f =~ $qt_forbidden ]]; } && grep -qE "$qt_headers" "$f"; then
    echo "check-source: $f includes Qt below the window and the module widgets:" >&2
    grep -nE "$qt_headers" "$f" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "check-source: format, OS headers and Qt includes in their places"
exit "$failed"
