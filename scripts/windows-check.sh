#!/usr/bin/env bash
# Checks the Windows installer under Wine and a virtual display, as a user
# would meet it: the installer's pages (install for everyone, finish with
# "Start Quorvel"), its entry in "Programs and Features", the window started
# from the Start-menu entry, the link to the Linux quorvel-slave (8 modules)
# through a Wine COM port, the weight plot, the module tabs, the backup dialog,
# calibration's first page, Find stations, closing; the window at 150 %; setup
# and the uninstaller refusing while Quorvel runs; silent uninstalls that keep
# the user's files (in a folder that held files before and in the program
# folder); an install for the current user alone. Screenshots go to
# build-win-release/check/ for looking at.
#   scripts/windows-check.sh            (after scripts/windows-release.sh)
#   scripts/windows-check.sh installer  the installer's checks alone, no window
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
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel'

# Setup as a user goes through it: welcome, licence, for whom, folder,
# progress, finish with "Start Quorvel", each page photographed.
install_with_pages() {
  wine "$setup" &
  local setup_pid=$! page window
  window=$(find_window "Quorvel Setup" 60) || {
    fail "setup's window did not open within 60 s"
    return
  }
  for page in welcome licence install-mode folder; do
    sleep 1
    shot "$window" "setup-$page"
    keys "$window" Return
  done
  local i
  for ((i = 0; i < 120; i++)); do [ -f "$program_dir/uninstall.exe" ] && break; sleep 0.5; done
  sleep 2
  shot "$window" setup-finish
  keys "$window" Return
  wait "$setup_pid" || fail "setup ended with exit status $?"
  if [ "${1:-}" != installer ]; then
    if window=$(find_window Quorvel 60); then
      sleep 2
      shot "$window" started-by-setup
    else
      fail "\"Start Quorvel\" on the finish page started no window"
    fi
  fi
  wine taskkill /F /IM quorvel.exe >/dev/null 2>&1 || true
  wineserver -w
  [ -f "$program_dir/quorvel.exe" ] || fail "no quorvel.exe in $program_dir"
  [ -f "$shortcut" ] || fail "no Start-menu entry at $shortcut"
}

# "Programs and Features": every value it shows, in ROOT (HKLM or HKCU).
check_entry() {
  local root=$1 value
  for value in DisplayName DisplayVersion Publisher DisplayIcon EstimatedSize InstallLocation NoModify NoRepair \
    UninstallString; do
    wine reg query "$root\\$uninstall_key" /v "$value" >/dev/null 2>&1 || fail "no $value in $root\\$uninstall_key"
  done
}

# Waits until FILE is gone (the uninstaller runs on from a copy of itself).
wait_gone() {
  local i
  for ((i = 0; i < 40; i++)); do [ -e "$1" ] || return 0; sleep 0.25; done
  return 1
}

# The files left under FOLDER, one relative path a line ("nothing, not even
# the folder" when it is gone).
files_in() {
  [ -d "$1" ] || { echo "nothing, not even the folder,"; return 0; }
  (cd "$1" && find . -type f -printf '%P\n' | LC_ALL=C sort)
}

# Installed with /D= into a folder that held files: an upgrade goes there
# too, and the user's files survive the uninstall, and so does the folder.
check_user_files_kept() {
  local tools="$WINEPREFIX/drive_c/Tools"
  mkdir -p "$tools/other"
  echo data >"$tools/mydata.txt"
  echo tool >"$tools/other/tool.exe"
  wine "$setup" /S '/D=C:\Tools'
  wineserver -w
  [ -f "$tools/quorvel.exe" ] || fail "no quorvel.exe in C:\\Tools after installing there"
  # An upgrade without /D goes into the folder of the earlier install.
  rm -f "$tools/Quorvel.conf"
  wine "$setup" /S
  wineserver -w
  [ -f "$tools/Quorvel.conf" ] || fail "an upgrade did not go into C:\\Tools, the earlier install's folder"
  check_refused_while_running "$tools" Tools
  wine "$tools/uninstall.exe" /S
  wineserver -w
  wait_gone "$tools/uninstall.exe" || fail "the uninstaller is still in C:\\Tools"
  [ "$(files_in "$tools")" = "$(printf 'mydata.txt\nother/tool.exe')" ] ||
    fail "C:\\Tools after uninstalling holds $(files_in "$tools" | tr '\n' ' ')instead of the user's two files"
  rm -rf "$tools"
}

# For the current user alone: the user's own program folder, the entry in HKCU.
check_current_user_install() {
  local folder
  wine "$setup" /S /CurrentUser
  wineserver -w
  folder=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/Programs/Quorvel' -type d | head -n 1)
  if [ -z "$folder" ] || [ ! -f "$folder/quorvel.exe" ]; then
    fail "/CurrentUser installed nothing into the user's program folder"
    return
  fi
  check_entry HKCU
  # The uninstaller asks first; its pages photographed.
  wine "$folder/uninstall.exe" &
  local window
  if window=$(find_window "Quorvel Uninstall ?" 60); then
    sleep 1
    shot "$window" uninstall-confirm
    keys "$window" Return
    sleep 3
    shot "$window" uninstall-done
    keys "$window" Return
  else
    fail "the uninstaller's window did not open within 60 s"
  fi
  wineserver -w
  wait_gone "$folder" || fail "$folder is still there after uninstalling"
  wine reg query "HKCU\\$uninstall_key" >/dev/null 2>&1 && fail "the HKCU entry is still there after uninstalling"
  return 0
}

# While quorvel-cli.exe from FOLDER (C:\NAME) runs on the simulator, setup
# and the uninstaller refuse with exit status 3 and leave the files as they
# are. (_?= runs the uninstaller in place, so that its exit status is its
# own; it takes no path with a space.)
check_refused_while_running() {
  local folder=$1 name=$2 i status
  # Its own entry into data exchange, not the window's earlier one.
  local before
  before=$(grep -c "data exchange" "$check/slave.log" || true)
  wine "$folder/quorvel-cli.exe" --com 5 --modules 8 --seconds 120 >/dev/null 2>&1 &
  local cli=$!
  for ((i = 0; i < 60; i++)); do
    [ "$(grep -c "data exchange" "$check/slave.log" || true)" -gt "$before" ] && break
    sleep 0.5
  done
  status=0
  wine "$setup" /S "/D=C:\\$name" || status=$?
  [ "$status" -eq 3 ] || fail "setup /S went on while Quorvel ran (exit $status)"
  status=0
  wine "$folder/uninstall.exe" /S "_?=C:\\$name" || status=$?
  [ "$status" -eq 3 ] || fail "the uninstaller went on while Quorvel ran (exit $status)"
  [ -f "$folder/quorvel.exe" ] || fail "quorvel.exe went while Quorvel ran"
  wine taskkill /F /IM quorvel-cli.exe >/dev/null 2>&1 || true
  wait "$cli" 2>/dev/null || true
  wineserver -w
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

# Without a window manager Wine hands the keyboard to a window only when it
# is clicked: a click on the status bar, which does nothing else.
focus_window() {
  local height
  height=$(xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p')
  xdotool mousemove --window "$1" 300 $((height - 8)) click 1
  sleep 0.5
}

# The dialog titled TITLE, photographed as NAME and closed with Escape.
dialog_shot() {
  local title=$1 name=$2 dialog
  if dialog=$(find_window "$title" 20); then
    sleep 2
    shot "$dialog" "$name"
    keys "$dialog" Escape
    sleep 1
  else
    fail "no \"$title\" window"
  fi
}

# The window's other places as a user meets them: the module tabs, the
# backup's save dialog (it starts in Documents), calibration's first page,
# then Stop and Find stations.
more_screens() {
  local window=$1
  focus_window "$window"
  keys "$window" ctrl+Tab
  sleep 1
  shot "$window" window-module-page
  focus_window "$window"
  keys "$window" alt+m b
  dialog_shot "Backup parameters" backup-save-dialog
  focus_window "$window"
  keys "$window" alt+m c
  dialog_shot "Calibrate module 0" calibrate-first-page
  # Find stations is for a stopped link.
  focus_window "$window"
  keys "$window" alt+t
  sleep 2
  keys "$window" alt+i
  dialog_shot "Find stations" find-stations
}

# The window once more at 150 % (Wine's LogPixels 144), photographed.
run_window_scaled() {
  local desktop='HKCU\Control Panel\Desktop' window
  wine reg add "$desktop" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
  wineserver -k 2>/dev/null || true
  wine start /unix "$shortcut"
  if window=$(find_window Quorvel 60); then
    sleep 3
    shot "$window" window-150-percent
  else
    fail "the window did not open at 150 %"
  fi
  wine taskkill /F /IM quorvel.exe >/dev/null 2>&1 || true
  wineserver -w
  wine reg add "$desktop" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
  wineserver -w
}

# The window from its shortcut; Start, the offer to take the slave's 8
# modules, data exchange, the plot, the window's other places, close.
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
    # Alt+F4 closes it as its system menu would (there is no window manager).
    keys "$plot" alt+F4
    sleep 1
  else
    fail "the weight plot did not open"
  fi
  more_screens "$window"
  # Closed as its title bar's close button would (no window manager here).
  wine taskkill /IM quorvel.exe >/dev/null 2>&1
  local i
  for ((i = 0; i < 80; i++)); do pgrep -f 'Quorvel.quorvel.exe' >/dev/null || break; sleep 0.25; done
  pgrep -f 'Quorvel.quorvel.exe' >/dev/null && fail "the window did not close within 20 s"
  return 0
}

# A file the user put into the program folder stays, and with it the folder.
uninstall() {
  wineserver -k 2>/dev/null || true
  echo notes >"$program_dir/notes.txt"
  wine "$program_dir/uninstall.exe" /S
  wineserver -w
  wait_gone "$program_dir/uninstall.exe" || fail "the uninstaller is still in $program_dir"
  [ "$(files_in "$program_dir")" = notes.txt ] ||
    fail "$program_dir after uninstalling holds $(files_in "$program_dir" | tr '\n' ' ')instead of notes.txt alone"
  [ -e "$shortcut" ] && fail "the Start-menu entry is still there after uninstalling"
  wine reg query "HKLM\\$uninstall_key" >/dev/null 2>&1 && fail "the HKLM entry is still there after uninstalling"
  return 0
}

start=$SECONDS
prepare_prefix
install_with_pages "${1:-}"
check_entry HKLM
start_slave
if [ "${1:-}" != installer ]; then
  run_window
  run_window_scaled
fi
check_user_files_kept
stop_slave
uninstall
check_current_user_install
echo "windows-check: $failures failure(s) in $((SECONDS - start)) s; screenshots in $check"
[ "$failures" -eq 0 ]
