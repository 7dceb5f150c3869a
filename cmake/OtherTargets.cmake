# Builds the twelve other targets from this same source, each in a build
# tree of its own named for it, with its toolchain file. The tests of this
# build then run them here: Linux i386 directly (or under qemu-user, where
# the kernel refuses 32-bit code), the other Linux ones under qemu-user,
# Windows under Wine, WebAssembly under Node (tools/wasi-run).
include(ExternalProject)

set(LINEECHO_OTHER_TARGETS linux-i386 linux-arm64 linux-riscv64 linux-armel
    linux-armhf linux-mipsel linux-mips64el linux-ppc64el linux-s390x
    windows-x86 windows-x64 wasm32-wasi)
foreach(name IN LISTS LINEECHO_OTHER_TARGETS)
  ExternalProject_Add(lineecho-${name}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${name}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchains/${name}.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    BUILD_ALWAYS TRUE
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD TRUE)
  # Its packages too, beside the executable.
  ExternalProject_Add_Step(lineecho-${name} package
    COMMAND ${CMAKE_CPACK_COMMAND} --config CPackConfig.cmake
    WORKING_DIRECTORY <BINARY_DIR>
    DEPENDEES build
    ALWAYS TRUE)
  # Where its executables land, lineecho's and the example's, for the tests
  # and the benchmark, where the test program that overruns its stack lands,
  # and where its packages land, for the tests.
  set(LINEECHO_EXE_${name} ${CMAKE_BINARY_DIR}/${name}/echo/lineecho)
  set(HELLO_EXE_${name} ${CMAKE_BINARY_DIR}/${name}/hello/hello)
  set(LINEECHO_SMASH_${name} ${CMAKE_BINARY_DIR}/${name}/stack_smash)
  set(LINEECHO_PACKAGES_${name} ${CMAKE_BINARY_DIR}/${name}/packages)
  if(name MATCHES "^windows")
    string(APPEND LINEECHO_EXE_${name} .exe)
    string(APPEND HELLO_EXE_${name} .exe)
    string(APPEND LINEECHO_SMASH_${name} .exe)
  endif()
endforeach()
