#!/usr/bin/env bash
# Drives the real window under Xvfb by keyboard through an attempt cancelled
# while it waits for Rhino and a whole install into a sandbox home folder,
# while a listener on the accessibility bus hears what a screen reader would;
# then checks what it heard and the folders on disk.
#   window_install_test.sh <Nimbra Setup.app> <simulated-rhino-bundle>
set -euo pipefail
app=$1
bundle_tool=$2
here=$(cd "$(dirname "$0")" && pwd)

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
for tool in Xvfb xdotool dbus-run-session /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi is not installed"; exit 77; }
# A session bus of its own, for an accessibility bus of its own.
if [ -z "${NIMBRA_E2E_BUS:-}" ]; then
  export NIMBRA_E2E_BUS=1
  exec dbus-run-session -- bash "$0" "$@"
fi

sandbox=$(mktemp -d /tmp/nimbra-e2e-XXXXXX)
home=$sandbox/home
support="$home/Library/Application Support"
libraries="$support/McNeel/Rhinoceros/MacPlugIns/Grasshopper/Libraries"
mkdir -p "$home/Applications" "$libraries" "$sandbox/runtime"
chmod 700 "$sandbox/runtime"
"$bundle_tool" "$home/Applications/Rhino 7.app" 7
"$bundle_tool" "$home/Applications/Rhino 8.app" 8 3  # takes 3 s to quit, as while saving
cp "$app/Contents/Resources/Payload/Rhino8/Nimbra.gha" "$libraries/Nimbra.gha"
# An install cut off before it had moved anything: its recovery comes first.
cut_off="$support/Nimbra/Backups/2020-01-01T00-00-00Z-AAAAAAAA"
mkdir -p "$cut_off"
printf '{"version":"1.0.0","state":"installing","destinations":["%s"],"backups":[],"deploying":[]}' \
  "$support/McNeel/Rhinoceros/packages/8.0/nimbra" >"$cut_off/receipt.json"

# Xvfb picks a free display itself and writes its number once it listens.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$sandbox/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 100); do [ -s "$sandbox/display" ] && break; sleep 0.1; done
display=:$(cat "$sandbox/display")
installer=""
cleanup() {
  [ -n "$installer" ] && kill "$installer" 2>/dev/null || true
  pkill -f "$home/Applications/Rhino" 2>/dev/null || true
  jobs -p | xargs -r kill 2>/dev/null || true
  rm -rf "$sandbox"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
export DISPLAY=$display HOME=$home XDG_RUNTIME_DIR=$sandbox/runtime QT_QPA_PLATFORM=xcb
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

heard=$sandbox/heard
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
/usr/bin/python3 "$here/screen_reader.py" >>"$heard" 2>&1 &  # appending, as this script does
for _ in $(seq 1 100); do grep -qs listening "$heard" && break; sleep 0.1; done
grep -qs listening "$heard" || fail "the listener did not start: $(cat "$heard")"
# Waits until the screen reader has heard a line holding these words, after
# its first $2 lines when given.
hear() {
  for _ in $(seq 1 600); do tail -n +$((${2:-0} + 1)) "$heard" | grep -qF -- "$1" && return 0; sleep 0.1; done
  fail "never heard \"$1\"; heard: $(cat "$heard")"
}

"$home/Applications/Rhino 8.app/Contents/MacOS/Rhinoceros" &
"$app/Contents/MacOS/Nimbra Setup" &
installer=$!
timeout 20 xdotool search --sync --onlyvisible --name 'Nimbra Setup' >/dev/null
xdotool mousemove 120 320 click 1  # the window takes the keyboard; the artwork takes no click
hear "announce notification: Ready to install"
/usr/bin/python3 "$here/accessible_tree.py" "Nimbra Setup" >"$sandbox/welcome-tree"
# The option cards answer a click in their middle, as most people choose;
# choosing shows the versions to choose from.
for card in "Choose installation" "Install automatically"; do
  before=$(wc -l <"$heard")
  # shellcheck disable=SC2046 # the position's two numbers
  xdotool mousemove $(/usr/bin/python3 "$here/accessible_tree.py" "Nimbra Setup" --centre "$card") click 1
  hear "checked radio button: $card" "$before"
  other="Install automatically"
  [ "$card" = "$other" ] && other="Choose installation"
  hear "cleared radio button: $other" "$before"
  [ "$card" = "Install automatically" ] ||
    /usr/bin/python3 "$here/accessible_tree.py" "Nimbra Setup" >"$sandbox/chosen-tree"
done
moves=$(grep -c '^focus' "$heard") || true
xdotool key Tab  # on a control that Install disables
# Heard before Return disables it: the listener reads a control's state when
# it gets to the event.
for _ in $(seq 1 600); do [ "$(grep -c '^focus' "$heard")" -gt "$moves" ] && break; sleep 0.1; done
echo "pressing Return" >>"$heard"
# Return presses Install Nimbra; Rhino 8 runs, so the install waits for it,
# with the focus on Cancel. Escape cancels.
for _ in $(seq 1 300); do
  xdotool key Return
  grep -qF "focus push button: Cancel" "$heard" && break
  sleep 0.2
done
hear "focus push button: Cancel"
xdotool key Escape
hear "announce notification: Installation cancelled. No plug-in files were changed."
# Rhino 8 is still quitting: Install asks it again and waits until it has.
xdotool key Return
hear "focus push button: Done"
/usr/bin/python3 "$here/accessible_tree.py" "Nimbra Setup" >"$sandbox/completed-tree"
grep -qs '"state":"complete"' "$support/Nimbra/Backups/"*/receipt.json || fail "no finished install"
# Done, pressed again until the window has shown it and closed.
for _ in $(seq 1 30); do
  xdotool key Return
  for _ in $(seq 1 10); do kill -0 "$installer" 2>/dev/null || break 2; sleep 0.1; done
done
if kill -0 "$installer" 2>/dev/null; then echo "FAIL: the window did not close on Done"; exit 1; fi
installer=""

# What a screen reader heard: each step in order, the focus moved once to
# Cancel while waiting (not through the controls being disabled) and never
# to a disabled control, the progress to its end. (The listener reads a
# value when it gets to the event, so a value may be read late, never early.)
in_order() {
  local from=1 line
  for expected in "$@"; do
    # One reader, no pipe: under pipefail a writer cut off by grep -m1 would
    # make a line that was heard count as unheard.
    line=$(awk -v from="$from" -v words="$expected" 'NR >= from && index($0, words) { print NR; exit }' "$heard")
    [ -n "$line" ] || fail "did not hear \"$expected\" after line $from; heard: $(cat "$heard")"
    from=$((line + 1))
  done
}
# While it looks for Rhino, every choice is disabled, and told so; then enabled.
discovery=$(sed '/^announce notification: Ready to install/q' "$heard")
for control in "radio button: Install automatically" "radio button: Choose installation" "push button: Locate Rhino…" \
  "push button: Search again" "check box: Open Rhino after installation"; do
  grep -qxF "disabled $control" <<<"$discovery" && grep -qxF "enabled $control" <<<"$discovery" ||
    fail "\"$control\" was not disabled and then enabled while Rhino was looked for: $discovery"
done
in_order "announce notification: Ready to install" "pressing Return" "focus push button: Cancel" \
  "announce notification: Save your work in Rhino to continue." \
  "announce notification: Installation cancelled. No plug-in files were changed." "focus push button: Cancel" \
  "announce notification: Save your work in Rhino to continue." "focus progress bar: Progress" \
  "announce notification: Restoring the interrupted installation…" "announce notification: Checking Rhino 7 files…" "announce notification: Checking Rhino 8 files…" \
  "announce notification: Backing up the previous installation…" \
  "announce notification: Installing Nimbra for Rhino 7…" "announce notification: Installing Nimbra for Rhino 8…" \
  "announce notification: Installed for Rhino 7 and Rhino 8"
grep -qF "focus push button: Done" "$heard" || fail "the completion screen did not take the focus"
moves=$(sed -n '/^pressing Return/,/^announce notification: Save your work/p' "$heard" | grep '^focus') || true
[ "$moves" = "focus push button: Cancel" ] || fail "the focus went so when the wait began: $moves"
! grep -F "[disabled]" "$heard" || fail "the focus went to a disabled control"
# Each change of a control's state is told, and only that: no label, button or
# bar is checked or cleared because something else changed.
in_order "pressing Return" "disabled push button: Install Nimbra" "enabled push button: Install Nimbra"
! grep -E "^(checked|cleared) (label|heading|panel|push button|progress bar)" "$heard" ||
  fail "a control that cannot be checked was told checked or cleared"
# A name said again unchanged is read again when its control has the focus.
! grep -F "name push button: Cancel" "$heard" || fail "Cancel was named anew, unchanged"
# The engine's count: the recovery first, a check and a deploy of each Rhino,
# and the backup; the bar only rises, to its end.
values=$(grep -o '^value Progress: [0-9]* of 6' "$heard" | cut -d' ' -f3 | tr '\n' ' ')
[ "$values" = "$(echo "$values" | tr ' ' '\n' | grep . | sort -n | tr '\n' ' ')" ] || fail "the progress went back: $values"
grep -q '^value Progress: 6 of 6' "$heard" || fail "the progress did not reach its end: $values"

# What a screen reader finds on each screen: every control as what it is,
# with its state, description and label; nothing hidden.
shows() {  # shows <tree> <line>…: each line is one object of the tree, whole
  local tree=$1
  shift
  for expected in "$@"; do grep -qxF -- "$expected" "$sandbox/$tree-tree" || fail "the $tree screen has no \"$expected\": $(cat "$sandbox/$tree-tree")"; done
}
shows welcome "heading Install Nimbra" "heading RHINO ON THIS MAC" "image Nimbra butterfly" \
  "radio button Install automatically [checked] [focused] — Find Rhino and take care of the rest." \
  "radio button Choose installation — Choose versions and locations." \
  "check box Rhino 8 [checked] [disabled] (labelled by Rhino 8)" "check box Open Rhino after installation [checked]" \
  "push button Locate Rhino…" "push button Install Nimbra [default]" "label Ready to install · 1.0.0"
! grep -q "Cancel" "$sandbox/welcome-tree" || fail "the hidden Cancel is in the welcome screen's tree"
shows chosen "check box Rhino 7 [checked] (labelled by Rhino 7)"
shows completed "push button Done [default] [focused]" "heading You're ready." \
  "label Nimbra is installed for Rhino 7 and Rhino 8." "push button View backup"
! grep -q "^radio button" "$sandbox/completed-tree" || fail "the welcome screen's controls stay in the completed one's tree"

for major in 7 8; do
  destination="$support/McNeel/Rhinoceros/packages/$major.0/nimbra"
  [ "$(ls "$destination" | tr '\n' ' ')" = "1.0.0 manifest.txt " ] || fail "Rhino $major: $(ls "$destination")"
  [ "$(cat "$destination/manifest.txt")" = "1.0.0" ] || fail "Rhino $major: manifest.txt"
  cmp -s "$destination/1.0.0/Nimbra.gha" "$app/Contents/Resources/Payload/Rhino$major/Nimbra.gha" || fail "Rhino $major: Nimbra.gha"
done
grep -q '"state":"restored"' "$cut_off/receipt.json" || fail "the cut-off install was not recovered: $(cat "$cut_off/receipt.json")"
backup=$(ls -d "$support/Nimbra/Backups/"* | grep -v AAAAAAAA)
[ -f "$backup/0-Nimbra.gha" ] || fail "the older shared copy is not in the backup"
[ ! -e "$libraries/Nimbra.gha" ] || fail "the older shared copy is still in Grasshopper's folder"
grep -q '"state":"complete"' "$backup/receipt.json" || fail "receipt: $(cat "$backup/receipt.json")"
pgrep -f "$home/Applications/Rhino 8.app" >/dev/null || fail "Rhino 8 was not opened again"
echo "The window installed Nimbra for Rhino 7 and 8 into $home and closed on Done."
echo "What a screen reader heard:"
grep -v '^unreadable' "$heard"  # the window's objects, read once it had closed
