# CPack runs this before packing (CPACK_PROJECT_CONFIG_FILE) and again with
# the files staged (CPACK_PRE_BUILD_SCRIPTS), so that a package holds nothing
# of when, where or by whom it was packed: SOURCE_DATE_EPOCH, set for the
# archives' own times (gzip's), a builder's or else the source's; the zips'
# local times in UTC; and the staged files and directories given that time,
# and the directories one mode whatever the umask.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_LINEECHO_SOURCE_DATE_EPOCH})
endif()
set(ENV{TZ} UTC0)
if(IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}")
  execute_process(COMMAND find . -type d -exec chmod 0755 {} +
    WORKING_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY} COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND find . -exec touch -h -d @$ENV{SOURCE_DATE_EPOCH} {} +
    WORKING_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY} COMMAND_ERROR_IS_FATAL ANY)
endif()
