# How a test is registered, and what shows that it passed: the one place.
# Every test runs through RunTest.cmake, which passes it on both its exit
# status (0 unless it names another) and a sign in its output that it ran to
# its end (CTest takes one or the other): a program cut short under Wine can
# exit with 0, and a crash after the last line is an exit status alone, under
# Wine and on Windows. A test of the Windows build runs under Wine in the test
# command's session, where machine.sh says the machine can do what it needs
# (a display, for x86 the 32-bit Wine, its own needs), else is skipped,
# saying why. native/CTestTestfile.cmake holds the tests of the very
# executables as Windows runs them, those that need Linux skipped with the
# reason: a build on Windows runs it as its own, the GitHub workflow a cross
# build's ("ctest --test-dir native").
include_guard(GLOBAL)
set(ZIRNA_MACHINE ${PROJECT_SOURCE_DIR}/scripts/lib/machine.sh)
set(zirna_requires display)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(zirna_requires wine32 display)
endif()
set(zirna_doctest_pass "\\[doctest\\] Status: SUCCESS!")
# unittest's summary: at least one test ran, and all passed or were skipped.
set(zirna_unittest_pass "Ran [1-9][0-9]* tests? in [0-9.]+s[^A-Za-z]+OK")
set(zirna_run_test ${CMAKE_CURRENT_LIST_DIR}/RunTest.cmake)

# zirna_test(<name> PASS <regex> [STATUS <n>] COMMAND <command>...)
function(zirna_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "PASS;STATUS" "COMMAND")
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} "-DPASS=${arg_PASS}" "-DSTATUS=${arg_STATUS}"
           -P ${zirna_run_test} -- ${arg_COMMAND})
  set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "^skipped: " TIMEOUT 900)
endfunction()

# A line of the native file: a test executable of the build tree through
# RunTest.cmake beside the file, or, with SKIPPED, the reason it skips.
function(zirna_native name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "PASS;SKIPPED" "COMMAND")
  set(command cmake -E echo "skipped: ${arg_SKIPPED}")
  if(NOT arg_SKIPPED)
    list(POP_FRONT arg_COMMAND executable)
    set(command cmake "-DPASS=${arg_PASS}" -P "\${CMAKE_CURRENT_LIST_DIR}/RunTest.cmake" --
        "\${CMAKE_CURRENT_LIST_DIR}/$<PATH:RELATIVE_PATH,${executable},${CMAKE_BINARY_DIR}/native>"
        ${arg_COMMAND})
  endif()
  list(POP_FRONT command program)
  set(line "add_test([=[${name}]=] \"${program}\"")
  foreach(word IN LISTS command)
    if(word MATCHES "^[$]{CMAKE_CURRENT_LIST_DIR}") # a path beside the file, expanded there
      string(APPEND line " \"${word}\"")
    else()
      string(APPEND line " [=[${word}]=]")
    endif()
  endforeach()
  string(APPEND line ")\nset_tests_properties([=[${name}]=] PROPERTIES SKIP_REGULAR_EXPRESSION"
                     " [=[^skipped: ]=] TIMEOUT 600)\n")
  set_property(GLOBAL APPEND_STRING PROPERTY ZIRNA_NATIVE_TESTS "${line}")
endfunction()

# add_wine_test(<target> [NAME name] [ARGS args...] [ENVIRONMENT var=value...]
#               [REQUIRES capabilities...] [LINUX_ONLY reason] [PASS regex])
# PASS is the sign of a complete run, doctest's success summary unless given
# (and a doctest filter that matches no test case fails).
function(add_wine_test target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME;LINUX_ONLY;PASS" "ARGS;ENVIRONMENT;REQUIRES")
  if(NOT arg_NAME)
    set(arg_NAME ${target})
  endif()
  if(NOT arg_PASS)
    set(arg_PASS "${zirna_doctest_pass}")
  endif()
  zirna_native(${arg_NAME} PASS "${arg_PASS}" SKIPPED "${arg_LINUX_ONLY}"
               COMMAND $<TARGET_FILE:${target}> ${arg_ARGS})
  if(CMAKE_CROSSCOMPILING)
    zirna_test(${arg_NAME} PASS "${arg_PASS}" COMMAND ${ZIRNA_MACHINE} require ${zirna_requires}
               ${arg_REQUIRES} -- ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${target}> ${arg_ARGS})
    set_tests_properties(${arg_NAME} PROPERTIES TIMEOUT 600 RESOURCE_LOCK display
      FAIL_REGULAR_EXPRESSION "test cases: +0 [|]" WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      ENVIRONMENT "ZIRNA_MACHINE=${ZIRNA_MACHINE};${arg_ENVIRONMENT}")
  endif()
endfunction()

# add_linux_test(<name> <reason> PASS regex [REQUIRES capabilities...]
#                COMMAND command...)
# A test that drives the Windows build from Linux, beside Wine.
function(add_linux_test name reason)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "PASS" "REQUIRES;COMMAND")
  zirna_native(${name} SKIPPED "${reason}")
  if(CMAKE_CROSSCOMPILING)
    zirna_test(${name} PASS "${arg_PASS}" COMMAND ${ZIRNA_MACHINE} require ${arg_REQUIRES} -- ${arg_COMMAND})
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK display WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      ENVIRONMENT "WINE=${CMAKE_CROSSCOMPILING_EMULATOR};ZIRNA_MACHINE=${ZIRNA_MACHINE}")
  endif()
endfunction()

function(zirna_write_native_tests)
  get_property(tests GLOBAL PROPERTY ZIRNA_NATIVE_TESTS)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/native/CTestTestfile.cmake CONTENT "${tests}")
  configure_file(${zirna_run_test} ${CMAKE_BINARY_DIR}/native/RunTest.cmake COPYONLY)
  if(NOT CMAKE_CROSSCOMPILING)
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/native/CTestTestfile.cmake)
  endif()
endfunction()
