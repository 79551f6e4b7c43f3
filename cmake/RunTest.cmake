# A test's run: the command after "--", its output shown as it comes. It
# passes only when the command exits with STATUS (0 unless given) and its
# output matches PASS, the sign that it ran to its end. A command that
# machine.sh skips (exit status 77, "skipped: why") is left to CTest's skip.
#   cmake -DPASS=REGEX [-DSTATUS=N] -P RunTest.cmake -- COMMAND...
foreach(i RANGE ${CMAKE_ARGC})
  if(CMAKE_ARGV${i} STREQUAL "--")
    math(EXPR first "${i} + 1")
    break()
  endif()
endforeach()
foreach(i RANGE ${first} ${CMAKE_ARGC})
  if(i LESS CMAKE_ARGC)
    list(APPEND command "${CMAKE_ARGV${i}}")
  endif()
endforeach()
if(NOT STATUS)
  set(STATUS 0)
endif()
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output
                ECHO_OUTPUT_VARIABLE ECHO_ERROR_VARIABLE)
if(status EQUAL 77 AND output MATCHES "^skipped: ")
  return()
elseif(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "The test ended with exit status ${status}, not ${STATUS}.")
elseif(NOT output MATCHES "${PASS}")
  message(FATAL_ERROR "The test's output lacks the sign of a complete run: ${PASS}")
endif()
