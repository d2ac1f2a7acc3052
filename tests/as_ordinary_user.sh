#!/bin/sh
# Runs tests of a test binary as the unprivileged user "nobody", for checks
# that mean nothing to root and to show that what needs no root runs without
# it. The binary is copied to a folder that user may enter, so this works from
# a checkout that only its owner can open; so is the build's signing key,
# which only its owner may read, made that user's, and the simulated Rhino and
# the application the tests run, when there are.
#   as_ordinary_user.sh <test binary> <gtest filter> <signing key> [<simulated rhino> <application> [<Mac's tools>]]
set -eu
place=$(mktemp -d /tmp/nimbra-as-user-XXXXXX)
trap 'rm -rf "$place"' EXIT
cp "$1" "$place/tests"
cp "$3" "$place/signing.key"
chmod 755 "$place" "$place/tests"
chown 65534 "$place/signing.key"
if [ $# -ge 5 ]; then
  cp "$4" "$place/simulated_rhino"
  cp -a "$5" "$place/$(basename "$5")"
  chmod -R a+rX "$place/simulated_rhino" "$place/$(basename "$5")"
  export NIMBRA_TEST_SIMULATED_RHINO="$place/simulated_rhino" NIMBRA_TEST_APP_BUNDLE="$place/$(basename "$5")"
fi
if [ -n "${6:-}" ]; then
  cp -r "$6" "$place/mac-tools"
  chmod -R a+rX "$place/mac-tools"
  export NIMBRA_MAC_TOOLS="$place/mac-tools"
fi
NIMBRA_TEST_SIGNING_KEY="$place/signing.key" \
  setpriv --reuid=65534 --regid=65534 --clear-groups "$place/tests" --gtest_filter="$2"
