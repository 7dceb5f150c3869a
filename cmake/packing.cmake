# CPack runs this before packing (CPACK_PROJECT_CONFIG_FILE), again with the
# files staged (CPACK_PRE_BUILD_SCRIPTS) and once more with the packages made
# (CPACK_POST_BUILD_SCRIPTS), so that a package holds nothing of when, where
# or by whom it was packed: SOURCE_DATE_EPOCH, a builder's or else the
# source's, for every time CPack records (the members' and gzip's); the zips'
# local times in UTC; the staged directories one mode whatever the umask;
# and root as every member's owner (archive-owner).
if(CPACK_PACKAGE_FILES)
  execute_process(COMMAND ${CPACK_LINEECHO_PERL}
    ${CMAKE_CURRENT_LIST_DIR}/archive-owner ${CPACK_PACKAGE_FILES}
    COMMAND_ERROR_IS_FATAL ANY)
  return()
endif()
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_LINEECHO_SOURCE_DATE_EPOCH})
endif()
set(ENV{TZ} UTC0)
if(IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}")
  execute_process(COMMAND find . -type d -exec chmod 0755 {} +
    WORKING_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY} COMMAND_ERROR_IS_FATAL ANY)
endif()
