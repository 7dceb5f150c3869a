# cmake -DNINJA=ninja -DBUILD=dir -DLINKED=file -DSCRIPT=file
#       -DPROGRAMS=a;b -P relink.cmake
# Whether an edited linker script relinks every program it lays out: ninja
# names the script the link reads (LINKED, as the build names it) among the
# inputs of each program's link, and where that is a copy that configuring
# makes (the Linux script, filled in for its target), the script itself
# (SCRIPT) among the inputs of the step that configures again.
function(require_input output file)
  execute_process(COMMAND ${NINJA} -C ${BUILD} -t query ${output}
                  OUTPUT_VARIABLE query RESULT_VARIABLE failed)
  string(FIND "${query}" "| ${file}\n" at)
  if(failed OR at EQUAL -1)
    message(FATAL_ERROR "${BUILD}: ${output} is not remade when ${file} "
                        "changes:\n${query}")
  endif()
endfunction()

foreach(program IN LISTS PROGRAMS)
  require_input(${program} ${LINKED})
endforeach()
if(NOT LINKED STREQUAL SCRIPT)
  require_input(build.ninja ${SCRIPT})
endif()
