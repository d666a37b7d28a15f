#!/usr/bin/env bash
# Checks the Windows installer under Wine and a virtual display, as a user
# would meet it: silent install, the window started from the Start-menu
# entry, the link to the Linux quorvel-slave (8 modules) through a Wine COM
# port, the weight plot, closing, silent uninstall. Screenshots of the window and
# the plot go to build-win-release/check/ for looking at.
#   scripts/windows-check.sh     (after scripts/windows-release.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
release=$(cd "${QUORVEL_WIN_RELEASE_DIR:-build-win-release}" && pwd)
linux_build="${QUORVEL_BUILD_DIR:-build}"
setup="$release/quorvel-setup.exe"
[ -f "$setup" ] || { echo "windows-check: $setup is missing; run scripts/windows-release.sh first" >&2; exit 2; }

install_tools() { bash scripts/install-packages.sh wine wine64 fonts-wine xvfb xauth xdotool x11-apps imagemagick; }

# Without a display of its own the script runs itself again under Xvfb.
if [ -z "${QUORVEL_CHECK_DISPLAY:-}" ]; then
  install_tools
  [ -x "$linux_build/sim/quorvel-slave" ] || bash scripts/build.sh >/dev/null
  QUORVEL_CHECK_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

check="$release/check"
rm -rf "$check"
mkdir -p "$check"
export WINEPREFIX="$check/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
failures=0
fail() {
  echo "windows-check: FAILED: $*" >&2
  failures=$((failures + 1))
}
shot() { xwd -id "$1" -silent | convert xwd:- "$check/$2.png" && echo "windows-check: screenshot $check/$2.png"; }
# The X window of a title, waiting up to `seconds`.
find_window() {
  local title=$1 seconds=$2 i id
  for ((i = 0; i < seconds * 4; i++)); do
    id=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1) && [ -n "$id" ] && {
      echo "$id"
      return 0
    }
    sleep 0.25
  done
  return 1
}
keys() {
  xdotool windowfocus "$1" 2>/dev/null || true
  shift
  xdotool key --delay 150 "$@"
}

prepare_prefix() {
  wineboot --init >/dev/null 2>&1
  # A fresh prefix has no Windows fonts: Wine falls back to a math font whose
  # metrics leave every line edit blank. Windows has its own; here the dialog
  # font is mapped to DejaVu Sans.
  local substitutes='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' font
  for font in "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "Segoe UI"; do
    wine reg add "$substitutes" /v "$font" /t REG_SZ /d "DejaVu Sans" /f >/dev/null 2>&1
  done
  wineserver -w
}

program_dir="$WINEPREFIX/drive_c/Program Files/Quorvel"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvel.lnk"

install() {
  wine "$setup" /S
  wineserver -w
  [ -f "$program_dir/quorvel.exe" ] || fail "no quorvel.exe in $program_dir"
  [ -f "$shortcut" ] || fail "no Start-menu entry at $shortcut"
}

slave_pid=""
start_slave() {
  QUORVEL_PORT_DIR="$check/ports" "$linux_build/sim/quorvel-slave" --com 5 --modules 8 >"$check/slave.log" 2>&1 &
  slave_pid=$!
  local i
  for ((i = 0; i < 100; i++)); do [ -L "$check/ports/COM5" ] && break; sleep 0.1; done
  ln -sfn "$(readlink -f "$check/ports/COM5")" "$WINEPREFIX/dosdevices/com5"
}
stop_slave() { [ -z "$slave_pid" ] || kill "$slave_pid" 2>/dev/null || true; }
trap 'stop_slave; wineserver -k 2>/dev/null || true' EXIT

# The window from its shortcut; Start, the offer to take the slave's 8
# modules, data exchange, the plot, close.
run_window() {
  local started=$SECONDS window box plot
  wine start /unix "$shortcut"
  window=$(find_window Quorvel 60) || {
    fail "the window did not open within 60 s"
    return
  }
  echo "windows-check: the window opened after $((SECONDS - started)) s"
  sleep 2
  shot "$window" window-start
  # Wine lists only COM1 (the machine's first serial port): COM5 is typed
  # into the PORT box.
  xdotool mousemove --window "$window" 130 69 click --repeat 3 1
  xdotool type --delay 100 COM5
  xdotool key Return
  sleep 1
  keys "$window" alt+s
  if box=$(find_window "WZM count" 15); then
    shot "$box" count-offer
    keys "$box" Return
  else
    fail "no offer to take the slave's module count"
  fi
  sleep 8
  grep -q "data exchange" "$check/slave.log" || fail "the slave never entered data exchange"
  shot "$window" window-connected
  keys "$window" alt+v w
  if plot=$(find_window "Weight plot" 15); then
    sleep 5
    shot "$plot" weight-plot
  else
    fail "the weight plot did not open"
  fi
  # Closed as its title bar's close button would (no window manager here).
  wine taskkill /IM quorvel.exe >/dev/null 2>&1
  local i
  for ((i = 0; i < 80; i++)); do pgrep -f 'Quorvel.quorvel.exe' >/dev/null || break; sleep 0.25; done
  pgrep -f 'Quorvel.quorvel.exe' >/dev/null && fail "the window did not close within 20 s"
  return 0
}

uninstall() {
  wineserver -k 2>/dev/null || true
  wine "$program_dir/uninstall.exe" /S
  wineserver -w
  local i
  # The uninstaller runs on from a copy of itself.
  for ((i = 0; i < 40; i++)); do [ -e "$program_dir" ] || break; sleep 0.25; done
  [ -e "$program_dir" ] && fail "$program_dir is still there after uninstalling"
  [ -e "$shortcut" ] && fail "the Start-menu entry is still there after uninstalling"
  return 0
}

start=$SECONDS
prepare_prefix
install
start_slave
run_window
stop_slave
uninstall
echo "windows-check: $failures failure(s) in $((SECONDS - start)) s; screenshots in $check"
[ "$failures" -eq 0 ]
