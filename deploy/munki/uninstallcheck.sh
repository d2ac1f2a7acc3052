#!/bin/sh
# Munki uninstallcheck_script of the Nimbra nopkg item: exits 0, so that
# Munki removes the item, when an uninstall would change anything for any
# person of this Mac (--check --uninstall's "would-change"); 1 when nobody
# has Nimbra.
setup=${NIMBRA_SETUP:-"/Applications/Nimbra Setup.app/Contents/MacOS/Nimbra Setup"}
tab=$(printf '\t')
answer=$("$setup" --all-users --check --uninstall 2>&1)
printf '%s\n' "$answer"
case "$answer" in
  *"${tab}would-change${tab}"*) exit 0 ;;
esac
exit 1
