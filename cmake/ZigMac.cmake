# Cross-compiles for macOS 13 with zig's clang and its bundled macOS headers
# (scripts/build-mac): NIMBRA_MAC_ARCH is aarch64 or x86_64, NIMBRA_ZIG the
# zig executable. zig's drivers take the target as their first arguments, so
# small wrappers stand in for the compiler and the archiver.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR ${NIMBRA_MAC_ARCH})
set(CMAKE_OSX_SYSROOT "")
set(CMAKE_OSX_DEPLOYMENT_TARGET "")
set(wrappers "${CMAKE_BINARY_DIR}/zig")
foreach(tool "cc=cc -target ${NIMBRA_MAC_ARCH}-macos.13.0" "c++=c++ -target ${NIMBRA_MAC_ARCH}-macos.13.0" "ar=ar"
        "ranlib=ranlib")
  string(REPLACE "=" ";" parts "${tool}")
  list(GET parts 0 name)
  list(GET parts 1 command)
  file(WRITE "${wrappers}/${name}" "#!/bin/sh\nexec \"${NIMBRA_ZIG}\" ${command} \"$@\"\n")
  file(CHMOD "${wrappers}/${name}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
endforeach()
set(CMAKE_C_COMPILER "${wrappers}/cc")
set(CMAKE_CXX_COMPILER "${wrappers}/c++")
set(CMAKE_AR "${wrappers}/ar")
set(CMAKE_RANLIB "${wrappers}/ranlib")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
