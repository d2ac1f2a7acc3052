#!/usr/bin/env bash
# What a vendor would otherwise ship: the same work with standard tools.
#   baseline_install.sh <package folder> <listing from sha256sum> <home>
set -euo pipefail
package=$1
listing=$2
home=$3
for major in 7 8; do
  root="$home/Library/Application Support/McNeel/Rhinoceros/packages/$major.0"
  mkdir -p "$root"
  (cd "$package" && sha256sum --quiet -c "$listing")
  cp -a "$package" "$root/.staging"
  (cd "$root/.staging" && sha256sum --quiet -c "$listing")
  mv "$root/.staging" "$root/nimbra"
  (cd "$root/nimbra" && sha256sum --quiet -c "$listing")
done
