# What `cmake --install` puts down and what CPack packs: the executable, the
# README, the licence and, for Linux, the man page. Packages are named for
# their target.
include(GNUInstallDirs)
if(LINEECHO_TARGET STREQUAL "wasm32-wasi")
  # A zip of the page that runs the module, a folder of static files.
  install(DIRECTORY ${PROJECT_BINARY_DIR}/page/ DESTINATION page)
  install(FILES README.md LICENSE DESTINATION .)
elseif(WIN32)
  # A Windows zip holds the program, its README and its licence side by side.
  install(TARGETS lineecho RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
else()
  # The man page states the version project() gives. Debian wants man pages
  # and changelogs compressed with gzip -9n, with no name or time stamped in.
  configure_file(docs/lineecho.1.in docs/lineecho.1 @ONLY)
  configure_file(packaging/debian/changelog docs/changelog COPYONLY)
  file(STRINGS packaging/debian/changelog changelog_top LIMIT_COUNT 1)
  string(REGEX MATCH "^lineecho \\(([^)]*)\\)" _ "${changelog_top}")
  if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "packaging/debian/changelog has no entry for "
                        "${PROJECT_VERSION} at its top: add one")
  endif()
  find_program(GZIP gzip REQUIRED)
  set(docs ${CMAKE_CURRENT_BINARY_DIR}/docs)
  add_custom_command(OUTPUT ${docs}/lineecho.1.gz ${docs}/changelog.gz
    COMMAND ${GZIP} -9nkf lineecho.1 changelog
    DEPENDS ${docs}/lineecho.1 ${docs}/changelog
    WORKING_DIRECTORY ${docs})
  add_custom_target(docs ALL DEPENDS ${docs}/lineecho.1.gz ${docs}/changelog.gz)
  # `cmake --install` puts the man page down with the program, so building
  # the program alone builds it too.
  add_dependencies(lineecho docs)

  # The licence in Debian's machine-readable copyright format: the notice
  # and the text of LICENSE, the text indented, its blank lines a lone dot.
  file(READ LICENSE license)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)\n\n(.*)" _ "${license}")
  set(copyright ${CMAKE_MATCH_1})
  string(STRIP "${CMAKE_MATCH_2}" license_text)
  string(REPLACE "\n\n" "\n.\n" license_text "${license_text}")
  string(REPLACE "\n" "\n " license_text " ${license_text}")
  configure_file(packaging/debian/copyright.in docs/copyright @ONLY)

  install(TARGETS lineecho RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${docs}/lineecho.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # `cmake --install` and the .tar.gz carry the licence as LICENSE; a .deb
  # carries it as its copyright file instead, with its changelog and what
  # lintian is to overlook, which nothing else needs.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT license)
  install(FILES ${docs}/copyright ${docs}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
  install(FILES packaging/debian/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
    RENAME ${PROJECT_NAME} COMPONENT debian EXCLUDE_FROM_ALL)
endif()

set(CPACK_PACKAGE_NAME lineecho)
set(CPACK_PACKAGE_VENDOR "lineecho developers")
set(CPACK_PACKAGE_CONTACT "lineecho developers <lineecho@example.invalid>")
set(CPACK_SYSTEM_NAME ${LINEECHO_TARGET})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
if(WIN32 OR LINEECHO_TARGET STREQUAL "wasm32-wasi")
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(debianArchitecture_linux-x86_64 amd64)
  set(debianArchitecture_linux-i386 i386)
  set(debianArchitecture_linux-arm64 arm64)
  set(debianArchitecture_linux-riscv64 riscv64)
  set(debianArchitecture_linux-armel armel)
  set(debianArchitecture_linux-armhf armhf)
  set(debianArchitecture_linux-mipsel mipsel)
  set(debianArchitecture_linux-mips64el mips64el)
  set(debianArchitecture_linux-ppc64el ppc64el)
  set(debianArchitecture_linux-s390x s390x)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE
      ${debianArchitecture_${LINEECHO_TARGET}})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # lineecho-dbgsym, the debug information, is packed beside the .deb.
  set(CPACK_LINEECHO_DEBUG_FILE ${PROJECT_BINARY_DIR}/echo/lineecho.debug)
  set(CPACK_LINEECHO_READELF ${CMAKE_READELF})
  set(CPACK_POST_BUILD_SCRIPTS
      ${PROJECT_SOURCE_DIR}/packaging/debian/dbgsym.cmake)
  # The .tar.gz holds what `cmake --install` puts down; the .deb is put
  # together from components, leaving out `license`.
  set(CPACK_COMPONENTS_ALL Unspecified debian)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  # The .deb's description: project()'s as its summary, then this.
  set(CPACK_PACKAGE_DESCRIPTION [[
lineecho writes a prompt, reads one line of at most 80 bytes from standard
input and writes exactly those bytes back. From a pipe, a socket or a file
it takes the bytes it echoes and not one more, leaving the rest for the
next reader; at a terminal it leaves lines typed or pasted after its own to
the shell.

It needs no library at all, not even the C library: a static executable
that makes its system calls itself.]])
endif()
include(CPack)
