#!/usr/bin/env bash
# The Windows job: cross-builds the Qt-free part of Quorvel (quorvel-cli and
# the tests that need no pseudo-terminal) with Debian's MinGW-w64, runs those
# tests under Wine, and ends with the link end to end: quorvel-slave on Linux
# on a pseudo-terminal that the Wine prefix knows as COM5, quorvel-cli.exe
# under Wine reaching Connected and printing the modules' values, with its
# answers per request and the simulator's collisions beside Linux's.
# Builds into build-win/ (or $QUORVEL_WIN_BUILD_DIR); needs the Linux build
# folder's quorvel-slave (built here when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build="${QUORVEL_WIN_BUILD_DIR:-build-win}"
linux_build="${QUORVEL_BUILD_DIR:-build}"
mkdir -p "$build"
build=$(cd "$build" && pwd)
step() {
  local start=$SECONDS
  "$@"
  echo "== windows: $1 took $((SECONDS - start)) s"
}

install_tools() {
  bash scripts/install-packages.sh g++-mingw-w64-x86-64-posix wine wine64 googletest ninja-build cmake librsvg2-bin icoutils
}

# Debian ships GoogleTest as source only for MinGW: built once per build folder.
build_gtest() {
  [ -f "$build/gtest/install/lib/cmake/GTest/GTestConfig.cmake" ] && return
  cmake -S /usr/src/googletest -B "$build/gtest/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$build/gtest/install" \
    -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$build/gtest/build" --target install -- -j2 >/dev/null
}

# A Wine prefix of our own, its server kept running for the whole job.
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
start_wine() {
  [ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1
  wineserver -k 2>/dev/null || true
  wineserver -p >/dev/null 2>&1
  # The first program starts Wine's services; started under the build they
  # would hold its output pipe open and the build would never end.
  wine cmd /c exit </dev/null >/dev/null 2>&1
}
stop_wine() { wineserver -k 2>/dev/null || true; }

configure_and_build() {
  cmake -S . -B "$build/quorvel" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DQUORVEL_GUI=OFF \
    -DQUORVEL_WERROR="$([ "${CI:-}" = true ] && echo ON || echo OFF)" \
    -DGTest_DIR="$build/gtest/install/lib/cmake/GTest" >/dev/null
  cmake --build "$build/quorvel" -- -j2
}

# quorvel-cli.exe carries its version information (the resource's strings
# are UTF-16 in the file) and the icon beside it.
check_resources() {
  local exe="$build/quorvel/cli/quorvel-cli.exe"
  # grep -c reads all its input: with pipefail, grep -q could end the pipe early.
  strings -el "$exe" | grep -cx 'Quorvel command-line monitor of the DP link' >/dev/null &&
    x86_64-w64-mingw32-objdump -h "$exe" | grep -c '\.rsrc' >/dev/null || {
    echo "windows: quorvel-cli.exe has no version information or icon" >&2
    return 1
  }
}

run_tests() { ctest --test-dir "$build/quorvel" --output-on-failure -j2; }

# The last stats line of quorvel-cli's output FILE as "REQUESTS ANSWERS"
# (fields found by name, so that added ones do not matter).
exchange_counts() {
  grep '^stats ' "$1" | tail -n 1 |
    awk '{ for (i = 1; i < NF; i++) { if ($i == "requests") r = $(i + 1); if ($i == "answers") a = $(i + 1) } }
         END { print r + 0, a + 0 }'
}
# The collisions in the simulator's --stats JSON FILE.
collisions() { sed -n 's/.*"collisions": \([0-9]*\).*/\1/p' "$1"; }

# quorvel-slave on a pseudo-terminal, linked as com5 in the Wine prefix (never
# com1: Wine gives that one the machine's first serial port). At 1 and 8
# modules quorvel-cli.exe under Wine must reach Connected and print module
# values; the Linux quorvel-cli runs beside it on the same simulator. Both
# print Start -> Connected, the exchanges per second (fast cycle: as many as
# the line carries), the answers per request and the collisions the
# simulator counted while each ran. Wine passes each serial event through
# its server: on a loaded machine an answer now and then reaches the
# program tens of ms late, past the default 20 ms adapter allowance, so both
# run with 100 ms, as for a slow adapter. Then Wine must answer at least 4
# requests in 5 (the one outstanding at the stop counts as unanswered) and
# collide at most once in 10 requests, so that input
# held up longer (an event wait that stalls, a lost byte or telegram, a
# request sent over an answer) still shows.
smoke() {
  local slave="$linux_build/sim/quorvel-slave" linux_cli="$linux_build/cli/quorvel-cli"
  [ -x "$slave" ] && [ -x "$linux_cli" ] || bash scripts/build.sh >/dev/null
  local work modules failed=0
  work=$(mktemp -d)
  # A device name as the backup file is refused before any port opens.
  local status=0
  wine "$build/quorvel/cli/quorvel-cli.exe" --module 0 --backup nul.txt >/dev/null 2>"$work/err" || status=$?
  if [ "$status" -ne 2 ] || ! grep -q 'device' "$work/err"; then
    echo "windows: quorvel-cli.exe --backup nul.txt was not refused as a device name (exit $status)" >&2
    failed=1
  fi
  for modules in 1 8; do
    QUORVEL_PORT_DIR="$work/ports" "$slave" --com 5 --modules "$modules" --quiet --stats "$work/sim.json" &
    local slave_pid=$!
    local waited=0
    until [ -L "$work/ports/COM5" ] && [ -f "$work/sim.json" ] || [ $waited -ge 100 ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    ln -sfn "$(readlink -f "$work/ports/COM5")" "$WINEPREFIX/dosdevices/com5"
    local options=(--com 5 --modules "$modules" --seconds 6 --fast --stats --adapter-latency 100)
    status=0
    wine "$build/quorvel/cli/quorvel-cli.exe" "${options[@]}" 2>"$work/err" | tr -d '\r' >"$work/out" || status=$?
    # The simulator's counts so far are the Wine run's.
    rm -f "$work/sim.json"
    kill -USR1 "$slave_pid" 2>/dev/null || true
    waited=0
    until [ -f "$work/sim.json" ] || [ $waited -ge 50 ]; do sleep 0.1; waited=$((waited + 1)); done
    local wine_collisions
    wine_collisions=$(collisions "$work/sim.json")
    QUORVEL_PORT_DIR="$work/ports" "$linux_cli" "${options[@]}" >"$work/linux" 2>/dev/null || true
    kill "$slave_pid" 2>/dev/null || true
    wait "$slave_pid" 2>/dev/null || true
    rm -f "$WINEPREFIX/dosdevices/com5"
    local linux_collisions=$(($(collisions "$work/sim.json") - ${wine_collisions:-0}))
    tr -d '\r' <"$work/err"
    local side file count requests answers
    for side in Wine Linux; do
      file="$work/out" count=${wine_collisions:-0}
      [ $side = Linux ] && file="$work/linux" count=$linux_collisions
      read -r requests answers < <(exchange_counts "$file")
      printf 'windows: %s module(s), %-6s %s; answers %s of %s requests (%s per request), %s collisions\n' \
        "$modules" "$side:" "$(grep '^timing' "$file" | sed 's/^timing //' || echo 'no timing line')" "$answers" \
        "$requests" "$(awk -v a="$answers" -v r="$requests" 'BEGIN { printf "%.2f", r ? a / r : 0 }')" "$count"
      [ $side = Wine ] || continue
      if [ "$requests" -eq 0 ] || [ $((answers * 5)) -lt $((requests * 4)) ] || [ $((count * 10)) -gt "$requests" ]; then
        echo "windows: under Wine with $modules module(s) too few answers or too many collisions" >&2
        failed=1
      fi
    done
    if [ "$status" -ne 0 ] || ! grep -q '^Connected' "$work/out" || ! grep -q "^WZM $((modules - 1)) gross" "$work/out"; then
      echo "windows: quorvel-cli.exe did not reach Connected with $modules module(s)' values (exit $status)" >&2
      head -n 8 "$work/out" >&2
      failed=1
    fi
  done
  rm -rf "$work"
  [ $failed -eq 0 ] && echo "windows: quorvel-cli.exe under Wine reached Connected, printed module values and kept its counters"
  return $failed
}

start=$SECONDS
step install_tools
step build_gtest
step start_wine
trap stop_wine EXIT
step configure_and_build
step check_resources
step run_tests
step smoke
echo "== windows job took $((SECONDS - start)) s"
