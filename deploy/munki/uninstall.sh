#!/bin/sh
# Munki uninstall_script of the Nimbra nopkg item: moves every person's
# installed copy into a backup folder of theirs (nothing is deleted). Exits
# with the installer's status.
setup=${NIMBRA_SETUP:-"/Applications/Nimbra Setup.app/Contents/MacOS/Nimbra Setup"}
exec "$setup" --all-users --uninstall --wait "${NIMBRA_WAIT:-300}"
