#!/bin/sh
# Runs tests of a test binary as the unprivileged user "nobody", for checks
# that mean nothing to root. The binary is copied to a folder that user may
# enter, so this works from a checkout that only its owner can open.
#   as_ordinary_user.sh <test binary> <gtest filter>
set -eu
place=$(mktemp -d /tmp/nimbra-as-user-XXXXXX)
trap 'rm -rf "$place"' EXIT
cp "$1" "$place/tests"
chmod 755 "$place" "$place/tests"
setpriv --reuid=65534 --regid=65534 --clear-groups "$place/tests" --gtest_filter="$2"
