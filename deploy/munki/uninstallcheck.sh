#!/bin/sh
# Munki uninstallcheck_script of the Nimbra nopkg item: exits 0, so that
# Munki removes the item, when any person of this Mac has Nimbra installed
# for a Rhino; 1 when nobody has.
setup=${NIMBRA_SETUP:-"/Applications/Nimbra Setup.app/Contents/MacOS/Nimbra Setup"}
answer=$("$setup" --all-users --list 2>&1)
printf '%s\n' "$answer"
printf '%s\n' "$answer" | awk -F'\t' '$2 ~ /^Rhino [78]$/ && $3 != "Nimbra not installed" { found = 1 } END { exit found ? 0 : 1 }'
