# What `cmake --install` puts down and what CPack packs: the executable, the
# README, the licence and, for Linux, the man page. CPack makes the tarballs
# and the Windows zips, named for their target; debian/ makes the Debian
# packages, from the same install.
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
  # compressed with gzip -9n, with no name or time stamped in.
  configure_file(docs/lineecho.1.in docs/lineecho.1 @ONLY)
  find_program(GZIP gzip REQUIRED)
  set(docs ${CMAKE_CURRENT_BINARY_DIR}/docs)
  add_custom_command(OUTPUT ${docs}/lineecho.1.gz
    COMMAND ${GZIP} -9nkf lineecho.1
    DEPENDS ${docs}/lineecho.1
    WORKING_DIRECTORY ${docs})
  add_custom_target(docs ALL DEPENDS ${docs}/lineecho.1.gz)
  # `cmake --install` puts the man page down with the program, so building
  # the program alone builds it too.
  add_dependencies(lineecho docs)

  install(TARGETS lineecho RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${docs}/lineecho.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# debian/copyright is LICENSE in Debian's machine-readable format: the
# notice, and the text indented with its blank lines a lone dot. The two
# must say the same.
file(READ LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)\n\n(.*)" _ "${license}")
set(notice "Copyright: ${CMAKE_MATCH_1}\nLicense: Expat\n")
string(STRIP "${CMAKE_MATCH_2}" license_text)
string(REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REPLACE "\n" "\n " license_text " ${license_text}")
file(READ debian/copyright debian_copyright)
string(FIND "${debian_copyright}" "${notice}${license_text}\n" at)
if(at EQUAL -1)
  message(FATAL_ERROR "debian/copyright does not carry LICENSE's notice "
                      "and text: mend it")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             LICENSE debian/copyright)

# Every package is the same bytes wherever, whenever and by whomever it is
# packed (packing.cmake): its times are SOURCE_DATE_EPOCH, which a builder may
# set and which is otherwise the time of debian/changelog's latest entry, as
# dpkg takes it.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(LINEECHO_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  file(STRINGS debian/changelog trailers REGEX "^ -- ")
  list(GET trailers 0 trailer)
  string(REGEX REPLACE ".*>  " "" changed "${trailer}")
  execute_process(COMMAND date -u -d "${changed}" +%s
    OUTPUT_VARIABLE LINEECHO_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
endif()
set(CPACK_LINEECHO_SOURCE_DATE_EPOCH ${LINEECHO_SOURCE_DATE_EPOCH})
# Perl is essential on Debian: every machine that builds this has it.
find_program(PERL perl REQUIRED)
set(CPACK_LINEECHO_PERL ${PERL})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/packing.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/packing.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/packing.cmake)

set(CPACK_PACKAGE_NAME lineecho)
set(CPACK_PACKAGE_VENDOR "lineecho developers")
set(CPACK_SYSTEM_NAME ${LINEECHO_TARGET})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
if(WIN32 OR LINEECHO_TARGET STREQUAL "wasm32-wasi")
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
include(CPack)
