#!/usr/bin/env bash
# Munki's and Jamf's scripts (deploy/munki, deploy/jamf) as those tools run
# them: as root, on a machine of their own (a password database with Ada, who
# has Rhino 7 and 8, and Cy, who has none, bound over the system's in mounts
# of this test's own, and a process list of its own), against the built
# installer; each one's exit status and output read as the tool reads them.
#   munki_jamf_test.sh <Nimbra Setup.app> <simulated-rhino-bundle>
set -uo pipefail
[ "$(id -u)" -eq 0 ] || { echo "SKIP: the scripts run as root, as Munki and Jamf run them"; exit 77; }
if [ -z "${NIMBRA_DEPLOY_ISOLATED:-}" ]; then
  export NIMBRA_DEPLOY_ISOLATED=1
  exec unshare --mount --pid --fork --kill-child --mount-proc --propagation private bash "$0" "$@"
fi
here=$(cd "$(dirname "$0")/../.." && pwd)
sandbox=$(mktemp -d /tmp/nimbra-deploy-XXXXXX)
trap 'rm -rf "$sandbox"' EXIT
chmod 755 "$sandbox"
cp -a "$1" "$sandbox/Nimbra Setup.app"
export NIMBRA_SETUP="$sandbox/Nimbra Setup.app/Contents/MacOS/Nimbra Setup" NIMBRA_WAIT=2
printf 'root:x:0:0::/root:/bin/sh\nada:x:4101:4101::%s/ada:/bin/sh\ncy:x:4103:4103::%s/cy:/bin/sh\n' "$sandbox" "$sandbox" >"$sandbox/passwd"
printf 'root:x:0:\nada:x:4101:\ncy:x:4103:\n' >"$sandbox/group"
mount --bind "$sandbox/passwd" /etc/passwd && mount --bind "$sandbox/group" /etc/group || exit 1
mkdir -p "$sandbox/cy"
"$2" "$sandbox/ada/Applications/Rhino 7.app" 7 && "$2" "$sandbox/ada/Applications/Rhino 8.app" 8 3600 || exit 1
chown -R 4101:4101 "$sandbox/ada" && chown -R 4103:4103 "$sandbox/cy"

failures=0
# expect <what> <exit status wanted> <command…>: runs it, keeps its output in $out.
expect() {
  local what=$1 wanted=$2
  shift 2
  out=$("$@" 2>&1)
  local status=$?
  if [ "$status" -ne "$wanted" ]; then
    echo "FAIL: $what: exit $status, not $wanted; it said: $out"
    failures=$((failures + 1))
  fi
}
said() {  # said <what> <text the output must hold exactly>
  [ "$out" = "$2" ] || { echo "FAIL: $1: said \"$out\", not \"$2\""; failures=$((failures + 1)); }
}
munki=$here/deploy/munki jamf=$here/deploy/jamf
version=$(sed -n 's/.*"version": *"\([^"]*\)".*/\1/p' "$sandbox/Nimbra Setup.app/Contents/Resources/Payload/release.json")

# Jamf's inventory, then Munki's check, before anything is installed.
expect "extension attribute, nothing installed" 0 "$jamf/extension_attribute.sh"
said "extension attribute, nothing installed" "<result>ada: Rhino 7 none, Rhino 8 none</result>"
expect "installcheck, nothing installed: install needed" 0 "$munki/installcheck.sh"
expect "uninstallcheck, nothing installed: nothing to remove" 1 "$munki/uninstallcheck.sh"

# Munki installs; then nothing is needed, and there is something to remove.
expect "postinstall" 0 "$munki/postinstall.sh"
[ -f "$sandbox/ada/Library/Application Support/McNeel/Rhinoceros/packages/8.0/nimbra/manifest.txt" ] ||
  { echo "FAIL: postinstall installed nothing for Ada"; failures=$((failures + 1)); }
[ ! -e "$sandbox/cy/Library" ] || { echo "FAIL: postinstall wrote in Cy's home"; failures=$((failures + 1)); }
expect "installcheck, installed: no install needed" 1 "$munki/installcheck.sh"
expect "uninstallcheck, installed: removal needed" 0 "$munki/uninstallcheck.sh"
expect "extension attribute, installed" 0 "$jamf/extension_attribute.sh"
said "extension attribute, installed" "<result>ada: Rhino 7 $version, Rhino 8 $version</result>"

# Munki removes it; Jamf's policy puts it back.
expect "uninstall" 0 "$munki/uninstall.sh"
expect "uninstallcheck, removed: nothing to remove" 1 "$munki/uninstallcheck.sh"
expect "policy, install" 0 "$jamf/policy.sh" / mac root install 30
expect "installcheck after the policy: no install needed" 1 "$munki/installcheck.sh"
expect "policy, a wrong action" 2 "$jamf/policy.sh" / mac root reinstall
said "policy, a wrong action" 'Parameter 4 must be install, uninstall or restore, not "reinstall".'

# A Rhino of Ada's that does not quit within the wait: the policy and
# Munki's install fail (3), nothing is changed, and they may try again.
setpriv --reuid=4101 --regid=4101 --clear-groups env -i "$sandbox/ada/Applications/Rhino 8.app/Contents/MacOS/Rhinoceros" &
for _ in $(seq 1 50); do pgrep -f "ada/Applications/Rhino 8.app" >/dev/null && break; sleep 0.1; done
expect "policy, uninstall while Rhino does not quit" 3 "$jamf/policy.sh" / mac root uninstall 1
expect "postinstall with Nimbra already whole, Rhino running: nothing to do" 0 "$munki/postinstall.sh"

# Without the installer, Jamf still gets a result to store.
NIMBRA_SETUP=/nonexistent expect "extension attribute without the installer" 0 "$jamf/extension_attribute.sh"
said "extension attribute without the installer" "<result>Nimbra Setup not found</result>"

[ "$failures" -eq 0 ] && echo "Munki and Jamf scripts: as their tools expect" && exit 0
exit 1
