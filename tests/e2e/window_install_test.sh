#!/usr/bin/env bash
# Drives the real window under Xvfb through a whole install into a sandbox
# home folder, then checks the folders on disk.
#   window_install_test.sh <Nimbra Setup.app> <simulated-rhino-bundle>
set -euo pipefail
app=$1
bundle_tool=$2
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

display=:$((100 + $$ % 50))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
installer=""
cleanup() {
  [ -n "$installer" ] && kill "$installer" 2>/dev/null || true
  pkill -f "$home/Applications/Rhino" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$sandbox"
}
trap cleanup EXIT
export DISPLAY=$display HOME=$home XDG_RUNTIME_DIR=$sandbox/runtime QT_QPA_PLATFORM=xcb
sleep 1

"$app/Contents/MacOS/Nimbra Setup" &
installer=$!
timeout 20 xdotool search --sync --onlyvisible --name 'Nimbra Setup' >/dev/null
sleep 2                                     # discovery
xdotool mousemove 756 575 click 1           # Install Nimbra  ->
for _ in $(seq 1 300); do
  grep -qs '"state":"complete"' "$support/Nimbra/Backups/"*/receipt.json && break
  sleep 0.1
done
sleep 1
xdotool key Return                          # Done
for _ in $(seq 1 100); do kill -0 "$installer" 2>/dev/null || break; sleep 0.1; done
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
