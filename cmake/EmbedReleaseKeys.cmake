# cmake -DOUTPUT=<file.cpp> -DKEYS=<a.pub|b.pub|...> -P EmbedReleaseKeys.cmake
#
# Writes builtInReleaseKeys() with each public key file's 32 bytes. A file
# that is not 64 hexadecimal digits (nimbra-pack's form) stops the build.
string(REPLACE "|" ";" files "${KEYS}")
set(entries "")
foreach(file IN LISTS files)
  file(READ "${file}" text)
  string(STRIP "${text}" text)
  string(TOLOWER "${text}" text)
  if(NOT text MATCHES "^[0-9a-f]+$")
    message(FATAL_ERROR "${file} is not a public key written by nimbra-pack (64 hexadecimal digits).")
  endif()
  string(LENGTH "${text}" length)
  if(NOT length EQUAL 64)
    message(FATAL_ERROR "${file} is not a public key written by nimbra-pack (64 hexadecimal digits).")
  endif()
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " bytes "${text}")
  string(APPEND entries "      Ed25519PublicKey{${bytes}},  // ${file}\n")
endforeach()
file(WRITE "${OUTPUT}.new" "// Written by the build from its public key files; not to be edited.
#include \"engine/release_keys.h\"

namespace nimbra {

const ReleaseKeys& builtInReleaseKeys() {
  static const ReleaseKeys keys{
${entries}  };
  return keys;
}

}  // namespace nimbra
")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
