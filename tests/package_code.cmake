# Fails unless the program a Debian package ships, EXE, is the build tree's,
# BUILT, byte for byte but for its build ID: the package's build, with its
# own flags and its debug split, changes no byte of the code and adds nothing
# (a debug link would take x86-64 past its size).
cmake_minimum_required(VERSION 3.25)
foreach(file EXE BUILT)
  execute_process(COMMAND "${READELF}" -n "${${file}}"
    OUTPUT_VARIABLE notes COMMAND_ERROR_IS_FATAL ANY)
  if(NOT notes MATCHES "Build ID: ([0-9a-f]+)")
    message(FATAL_ERROR "${${file}} has no build ID")
  endif()
  file(READ "${${file}}" bytes HEX)
  string(REPLACE "${CMAKE_MATCH_1}" "<build ID>" ${file}_bytes "${bytes}")
endforeach()
if(NOT EXE_bytes STREQUAL BUILT_bytes)
  file(SIZE "${EXE}" exe_size)
  file(SIZE "${BUILT}" built_size)
  message(FATAL_ERROR "${EXE} (${exe_size} B) is not ${BUILT} (${built_size} B) "
                      "but for the build ID")
endif()
