#!/bin/sh
# Jamf Pro policy script: installs (or uninstalls, or restores) Nimbra for
# every person of this Mac with Rhino 7 or 8. Jamf passes the target volume,
# the computer's name and the user as $1 to $3; the policy's own values are:
#   $4  install (the default), uninstall or restore
#   $5  seconds to wait for a running Rhino to quit (default 300)
# Exits with the installer's status, so that Jamf records the policy as
# failed for anything but 0 (3: a Rhino still running; 5: another
# installation: run the policy again later).
setup=${NIMBRA_SETUP:-"/Applications/Nimbra Setup.app/Contents/MacOS/Nimbra Setup"}
action=${4:-install}
case "$action" in
  install|uninstall|restore) ;;
  *) echo "Parameter 4 must be install, uninstall or restore, not \"$action\"."; exit 2 ;;
esac
exec "$setup" --all-users "--$action" --wait "${5:-300}"
