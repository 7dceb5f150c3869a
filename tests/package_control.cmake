# Fails unless the debug package PACKAGE (unpacked in ROOT) belongs to the
# program EXE alone: it depends on exactly VERSION of lineecho, and its
# Build-Ids field and its debug file's name give EXE's build ID.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND "${DPKG_DEB}" -f "${PACKAGE}" Depends Build-Ids
  OUTPUT_VARIABLE fields COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${READELF}" -n "${EXE}"
  OUTPUT_VARIABLE notes COMMAND_ERROR_IS_FATAL ANY)
if(NOT notes MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
  message(FATAL_ERROR "${EXE} has no build ID")
endif()
set(expected "Depends: lineecho (= ${VERSION})\nBuild-Ids: ${CMAKE_MATCH_1}${CMAKE_MATCH_2}\n")
message("${PACKAGE}:\n${fields}")
if(NOT fields STREQUAL expected)
  message(FATAL_ERROR "expected:\n${expected}")
endif()
set(debug usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)
if(NOT EXISTS "${ROOT}/${debug}")
  message(FATAL_ERROR "no ${debug} for the program's build ID")
endif()
