#!/bin/sh
# Munki postinstall_script of the Nimbra nopkg item: installs for every
# person of this Mac with Rhino 7 or 8. A running Rhino is asked to quit (its
# user is asked about unsaved work) and opened again. Exits with the
# installer's status: not 0 fails the item, and Munki tries again at its next
# run (3: a Rhino still running after the wait; 5: another installation).
setup=${NIMBRA_SETUP:-"/Applications/Nimbra Setup.app/Contents/MacOS/Nimbra Setup"}
exec "$setup" --all-users --install --wait "${NIMBRA_WAIT:-300}"
