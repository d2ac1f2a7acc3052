# The key that signs release.json, and the public keys compiled into the
# installer (library nimbra_release_keys). Every build is signed and checked
# the same way: without NIMBRA_SIGNING_KEY, a development key pair is made in
# the build folder once, by nimbra-pack keygen.
#
# Sets NIMBRA_SIGNING_KEY_FILE, the private key the build signs with.

set(NIMBRA_SIGNING_KEY "" CACHE FILEPATH "The Ed25519 private key that signs release.json (made by nimbra-pack keygen)")
set(NIMBRA_TRUSTED_KEYS "" CACHE STRING "Further public key files (.pub) the installer accepts, while a key is rotated")

set(signing_dir "${CMAKE_BINARY_DIR}/signing")
if(NIMBRA_SIGNING_KEY)
  if(NOT EXISTS "${NIMBRA_SIGNING_KEY}")
    message(FATAL_ERROR "NIMBRA_SIGNING_KEY names no file: ${NIMBRA_SIGNING_KEY}")
  endif()
  set(NIMBRA_SIGNING_KEY_FILE "${NIMBRA_SIGNING_KEY}")
else()
  set(NIMBRA_SIGNING_KEY_FILE "${signing_dir}/release-signing.key")
  if(NOT EXISTS "${NIMBRA_SIGNING_KEY_FILE}")
    message(STATUS "No NIMBRA_SIGNING_KEY: this build signs its payload with a development key made in "
                   "${signing_dir}. Installers it builds are for testing, not for release.")
  endif()
  # Depends on nimbra-pack being built, not on its file: a rebuilt tool must
  # not try to make the key again.
  add_custom_command(
    OUTPUT "${NIMBRA_SIGNING_KEY_FILE}"
    COMMAND nimbra-pack keygen "${signing_dir}"
    COMMENT "Making a development signing key"
    VERBATIM)
endif()

set(build_public_key "${signing_dir}/build-key.pub")
add_custom_command(
  OUTPUT "${build_public_key}"
  COMMAND nimbra-pack public-key "${NIMBRA_SIGNING_KEY_FILE}" "${build_public_key}"
  DEPENDS "${NIMBRA_SIGNING_KEY_FILE}"
  VERBATIM)

set(public_keys "${build_public_key}" ${NIMBRA_TRUSTED_KEYS})
string(REPLACE ";" "|" public_key_list "${public_keys}")
set(keys_source "${CMAKE_BINARY_DIR}/generated/release_keys.cpp")
add_custom_command(
  OUTPUT "${keys_source}"
  COMMAND ${CMAKE_COMMAND} "-DOUTPUT=${keys_source}" "-DKEYS=${public_key_list}"
          -P "${PROJECT_SOURCE_DIR}/cmake/EmbedReleaseKeys.cmake"
  DEPENDS ${public_keys} "${PROJECT_SOURCE_DIR}/cmake/EmbedReleaseKeys.cmake"
  COMMENT "Embedding the release keys"
  VERBATIM)

add_library(nimbra_release_keys STATIC "${keys_source}")
target_include_directories(nimbra_release_keys PUBLIC ${PROJECT_SOURCE_DIR})
nimbra_warnings(nimbra_release_keys)
