#!/usr/bin/env bash
# Drives the real window under Xvfb through a whole install into a sandbox
# home folder, then checks the folders on disk.
#   window_install_test.sh <Nimbra Setup.app> <simulated-rhino-bundle>
set -euo pipefail
app=$1
bundle_tool=$2

# The window asks every Rhino it sees to quit and reopens it. In a process
# list of its own it sees only this test's, never another test's or a demo's.
if [ -z "${NIMBRA_E2E_ISOLATED:-}" ]; then
  export NIMBRA_E2E_ISOLATED=1
  if [ "$(id -u)" -eq 0 ]; then
    exec unshare --pid --fork --mount-proc bash "$0" "$@"
  fi
  if unshare --user --map-root-user --pid --fork --mount-proc true 2>/dev/null; then
    exec unshare --user --map-root-user --pid --fork --mount-proc bash "$0" "$@"
  fi
  echo "SKIP: no private process list (unshare --pid needs root or user namespaces)"
  exit 77
fi
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

sandbox=$(mktemp -d /tmp/nimbra-e2e-XXXXXX)
home=$sandbox/home
support="$home/Library/Application Support"
libraries="$support/McNeel/Rhinoceros/MacPlugIns/Grasshopper/Libraries"
mkdir -p "$home/Applications" "$libraries" "$sandbox/runtime"
chmod 700 "$sandbox/runtime"
"$bundle_tool" "$home/Applications/Rhino 7.app" 7
"$bundle_tool" "$home/Applications/Rhino 8.app" 8
cp "$app/Contents/Resources/Payload/Rhino8/Nimbra.gha" "$libraries/Nimbra.gha"

# Xvfb picks a free display itself and writes its number once it listens.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$sandbox/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 100); do [ -s "$sandbox/display" ] && break; sleep 0.1; done
display=:$(cat "$sandbox/display")
installer=""
cleanup() {
  [ -n "$installer" ] && kill "$installer" 2>/dev/null || true
  pkill -f "$home/Applications/Rhino" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$sandbox"
}
trap cleanup EXIT
export DISPLAY=$display HOME=$home XDG_RUNTIME_DIR=$sandbox/runtime QT_QPA_PLATFORM=xcb

"$app/Contents/MacOS/Nimbra Setup" &
installer=$!
timeout 20 xdotool search --sync --onlyvisible --name 'Nimbra Setup' >/dev/null
# Install Nimbra ->, pressed again until the install has begun: the button
# is disabled while discovery runs, however long that takes.
for _ in $(seq 1 30); do
  xdotool mousemove 756 575 click 1
  for _ in $(seq 1 20); do [ -d "$support/Nimbra/Backups" ] && break 2; sleep 0.1; done
done
for _ in $(seq 1 600); do
  grep -qs '"state":"complete"' "$support/Nimbra/Backups/"*/receipt.json && break
  sleep 0.1
done
# Done, pressed again until the window has shown it and closed.
for _ in $(seq 1 30); do
  xdotool key Return
  for _ in $(seq 1 10); do kill -0 "$installer" 2>/dev/null || break 2; sleep 0.1; done
done
if kill -0 "$installer" 2>/dev/null; then echo "FAIL: the window did not close on Done"; exit 1; fi
installer=""

fail() { echo "FAIL: $*"; exit 1; }
for major in 7 8; do
  destination="$support/McNeel/Rhinoceros/packages/$major.0/nimbra"
  [ "$(ls "$destination" | tr '\n' ' ')" = "1.0.0 manifest.txt " ] || fail "Rhino $major: $(ls "$destination")"
  [ "$(cat "$destination/manifest.txt")" = "1.0.0" ] || fail "Rhino $major: manifest.txt"
  cmp -s "$destination/1.0.0/Nimbra.gha" "$app/Contents/Resources/Payload/Rhino$major/Nimbra.gha" || fail "Rhino $major: Nimbra.gha"
done
backup=$(ls -d "$support/Nimbra/Backups/"*)
[ -f "$backup/0-Nimbra.gha" ] || fail "the older shared copy is not in the backup"
[ ! -e "$libraries/Nimbra.gha" ] || fail "the older shared copy is still in Grasshopper's folder"
grep -q '"state":"complete"' "$backup/receipt.json" || fail "receipt: $(cat "$backup/receipt.json")"
pgrep -f "$home/Applications/Rhino 8.app" >/dev/null || fail "Rhino 8 was not opened again"
echo "The window installed Nimbra for Rhino 7 and 8 into $home and closed on Done."
