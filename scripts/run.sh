#!/usr/bin/env bash
# Tries Quorvel without hardware: installs what is missing, builds, starts the
# slave simulator quorvel-slave as COM2 and Quorvel against it. Closing the
# window stops the simulator. Arguments go to the simulator, for example
#   bash scripts/run.sh --modules 8
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
build="${QUORVEL_BUILD_DIR:-build}"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display to show the window on (DISPLAY is not set)." >&2
  echo "Run this from a desktop session, or try: xvfb-run -a bash scripts/run.sh" >&2
  exit 1
fi

log="$(mktemp "${TMPDIR:-/tmp}/quorvel-slave.XXXXXX")"
"$build/sim/quorvel-slave" --com 2 "$@" >"$log" 2>&1 &
slave=$!
stop_slave() {
  kill "$slave" 2>/dev/null || true
  wait "$slave" 2>/dev/null || true
  rm -f "$log"
}
trap stop_slave EXIT

# Wait until the simulator has registered its port (at most 5 s).
for _ in $(seq 50); do
  grep -q "registered" "$log" && break
  kill -0 "$slave" 2>/dev/null || { cat "$log" >&2; exit 1; }
  sleep 0.1
done
grep -q "registered" "$log" || { echo "quorvel-slave did not start:" >&2; cat "$log" >&2; exit 1; }
cat "$log"
echo "Starting Quorvel: press Start to connect to the simulator."

# Quorvel looks for Quorvel.conf in the current folder, then beside the program.
"$build/bin/quorvel"
