# Shows the totals every stress run left in TOTALS, and fails unless no
# byte was lost and every run ended with status 0.
file(STRINGS "${TOTALS}" lines)
set(cases 0)
set(lost 0)
set(bad 0)
foreach(line IN LISTS lines)
  message("${line}")
  string(REGEX MATCH "([0-9]+) cases tried, ([0-9]+) bytes lost, ([0-9]+) runs"
         _ "${line}")
  math(EXPR cases "${cases} + ${CMAKE_MATCH_1}")
  math(EXPR lost "${lost} + ${CMAKE_MATCH_2}")
  math(EXPR bad "${bad} + ${CMAKE_MATCH_3}")
endforeach()
message("stress totals: ${cases} cases tried, ${lost} bytes lost, "
        "${bad} runs not ending with status 0")
if(cases EQUAL 0 OR NOT lost EQUAL 0 OR NOT bad EQUAL 0)
  message(FATAL_ERROR "the stress runs did not all pass")
endif()
