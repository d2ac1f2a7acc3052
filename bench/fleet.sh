#!/usr/bin/env bash
# One Ansible play installing Nimbra over SSH on 10, 20 and 40 simulated
# machines (tests/deploy/fleet.py), each with Rhino 7 and 8 and every fourth
# with a Rhino 8 running that quits when asked: the play's time, its recap,
# and the cost per machine as the count grows. Root only.
#   bench/fleet.sh [build folder] [counts…]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/default}
shift || true
counts=("${@:-10 20 40}")
exec python3 "$here/tests/deploy/fleet_test.py" "$build/Nimbra Setup.app" "$build/tools/simulated_rhino/simulated-rhino-bundle" \
  --bench ${counts[*]}
