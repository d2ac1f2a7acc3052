#!/bin/sh
# Munki installcheck_script of the Nimbra nopkg item. Munki runs it as root
# and installs when it exits 0: here, when an install would change Nimbra for
# any person of this Mac (--check's "would-change"). Any other exit, 1, means
# nothing to install: every copy whole, or nothing an install could mend (a
# newer version, no Rhino, a refusal, which the output names).
setup=${NIMBRA_SETUP:-"/Applications/Nimbra Setup.app/Contents/MacOS/Nimbra Setup"}
tab=$(printf '\t')
answer=$("$setup" --all-users --check 2>&1)
printf '%s\n' "$answer"
case "$answer" in
  *"${tab}would-change${tab}"*) exit 0 ;;
esac
exit 1
