#!/bin/sh
# Jamf Pro extension attribute: the Nimbra version each person of this Mac
# has for each of their Rhinos, "none" where one has no Nimbra, e.g.
#   <result>ada: Rhino 7 1.3.0, Rhino 8 none; ben: Rhino 8 1.3.0</result>
# "none" alone when nobody has Rhino 7 or 8. Jamf stores what stands
# between the tags, so there is always a result, even without the installer.
setup=${NIMBRA_SETUP:-"/Applications/Nimbra Setup.app/Contents/MacOS/Nimbra Setup"}
if [ ! -x "$setup" ]; then
  echo "<result>Nimbra Setup not found</result>"
  exit 0
fi
versions=$("$setup" --all-users --list 2>/dev/null | awk -F'\t' '
  $2 ~ /^Rhino [78]$/ {
    version = $3; sub(/^Nimbra /, "", version); if (version == "not installed") version = "none"
    if ($1 != user) { text = text (text == "" ? "" : "; ") $1 ": "; user = $1 } else text = text ", "
    text = text $2 " " version
  }
  END { print (text == "" ? "none" : text) }')
echo "<result>$versions</result>"
