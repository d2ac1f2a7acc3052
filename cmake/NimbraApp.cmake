# Assembles the installer's application folder on every platform:
#
#   <NAME>.app/Contents/Info.plist
#   <NAME>.app/Contents/MacOS/<NAME>            (when EXECUTABLE names a target)
#   <NAME>.app/Contents/Resources/Nimbra.png    (drawn by tools/logo)
#   <NAME>.app/Contents/Resources/Payload/      (the package folders and release.json)
#
# release.json is written by nimbra-pack from the copied package folders, so it
# is regenerated whenever a payload file changes, signed with the build's key
# (release.json.sig), and verified by the engine.
function(nimbra_add_app_bundle target)
  cmake_parse_arguments(ARG "" "NAME;EXECUTABLE;PAYLOAD;VERSION" "PACKAGES" ${ARGN})
  set(app "${CMAKE_BINARY_DIR}/${ARG_NAME}.app")
  set(payload "${app}/Contents/Resources/Payload")
  file(GLOB_RECURSE payload_files CONFIGURE_DEPENDS LIST_DIRECTORIES false "${ARG_PAYLOAD}/*")

  add_custom_command(
    OUTPUT "${payload}/release.json"
    COMMAND ${CMAKE_COMMAND} -E rm -rf "${payload}"
    COMMAND ${CMAKE_COMMAND} -E copy_directory "${ARG_PAYLOAD}" "${payload}"
    COMMAND nimbra-pack --key "${NIMBRA_SIGNING_KEY_FILE}" "${payload}" "${ARG_VERSION}" ${ARG_PACKAGES}
    DEPENDS ${payload_files} nimbra-pack "${NIMBRA_SIGNING_KEY_FILE}"
    COMMENT "Packing the payload of ${ARG_NAME}.app (${ARG_VERSION})"
    VERBATIM)
  add_custom_command(
    OUTPUT "${app}/Contents/Resources/Nimbra.png"
    COMMAND draw_logo "${app}/Contents/Resources/Nimbra.png" 1024
    DEPENDS draw_logo
    COMMENT "Drawing the logo"
    VERBATIM)

  set(NIMBRA_BUNDLE_NAME "${ARG_NAME}")
  set(NIMBRA_BUNDLE_VERSION "${ARG_VERSION}")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/Info.plist.in" "${app}/Contents/Info.plist" @ONLY)

  if(ARG_EXECUTABLE)
    set_target_properties(${ARG_EXECUTABLE} PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY "${app}/Contents/MacOS"
      OUTPUT_NAME "${ARG_NAME}")
  endif()
  add_custom_target(${target} ALL DEPENDS "${payload}/release.json" "${app}/Contents/Resources/Nimbra.png")
  set_target_properties(${target} PROPERTIES BUNDLE_LOCATION "${app}")
endfunction()
