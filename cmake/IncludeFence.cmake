# The include fences keep out what is reached through an include path; a
# relative include ("../visual_kit.h") is found beside the including file
# instead, and would climb over them. This fails the configuration when a
# file below folder includes, by a relative path, a file outside folder. The
# folder's files are configuration inputs, so an edit is checked at the next
# build.
function(nimbra_forbid_includes_out_of folder)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS "${folder}/*.h" "${folder}/*.cpp")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${files})
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*\\.\\.")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
      get_filename_component(directory "${file}" DIRECTORY)
      get_filename_component(resolved "${directory}/${included}" ABSOLUTE)
      cmake_path(IS_PREFIX folder "${resolved}" NORMALIZE inside)
      if(NOT inside)
        message(FATAL_ERROR "${file} includes \"${included}\", outside ${folder}: it may include only its own "
                            "folder's files and the layers below it, through their include paths.")
      endif()
    endforeach()
  endforeach()
endfunction()
