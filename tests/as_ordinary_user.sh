#!/bin/sh
# Runs tests of a test binary as the unprivileged user "nobody", for checks
# that mean nothing to root and to show that what needs no root runs without
# it. The binary is copied to a folder that user may enter, so this works from
# a checkout that only its owner can open; so is the build's signing key,
# which only its owner may read, made that user's, and the application the
# tests run, when there is one.
#   as_ordinary_user.sh <test binary> <gtest filter> <signing key> [<application>]
set -eu
place=$(mktemp -d /tmp/nimbra-as-user-XXXXXX)
trap 'rm -rf "$place"' EXIT
cp "$1" "$place/tests"
cp "$3" "$place/signing.key"
chmod 755 "$place" "$place/tests"
chown 65534 "$place/signing.key"
if [ $# -ge 4 ]; then
  cp -a "$4" "$place/$(basename "$4")"
  chmod -R a+rX "$place/$(basename "$4")"
  export NIMBRA_TEST_APP_BUNDLE="$place/$(basename "$4")"
fi
NIMBRA_TEST_SIGNING_KEY="$place/signing.key" \
  setpriv --reuid=65534 --regid=65534 --clear-groups "$place/tests" --gtest_filter="$2"
