# How a test of the Windows build is registered: the one place. Cross-built,
# it runs under Wine in the test command's session, where machine.sh says
# the machine can do what it needs (a display, for x86 the 32-bit Wine, its
# own needs), else is skipped, saying why. native/CTestTestfile.cmake holds
# the tests of the very executables as Windows runs them, those that need
# Linux skipped with the reason: a build on Windows runs it as its own, the
# GitHub workflow a cross build's ("ctest --test-dir native").
include_guard(GLOBAL)
set(ZIRNA_MACHINE ${PROJECT_SOURCE_DIR}/scripts/lib/machine.sh)
set(zirna_requires display)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(zirna_requires wine32 display)
endif()
# A test passes on a sign that it ran to its end, never on its exit code
# alone (a program cut short under Wine can still exit with 0): doctest's
# summary with its success status, or the last line of the test's own tool.
# A doctest filter that matches no test case fails.
set(zirna_test_properties SKIP_RETURN_CODE 77 TIMEOUT 600)
set(zirna_doctest_properties ${zirna_test_properties}
    PASS_REGULAR_EXPRESSION "\\[doctest\\] Status: SUCCESS!"
    FAIL_REGULAR_EXPRESSION "test cases: +0 [|]")
# unittest's summary: at least one test ran, and all passed or were skipped.
set(zirna_unittest_pass "Ran [1-9][0-9]* tests? in [0-9.]+s[\r\n]+OK")

# A line of the native file: an executable of the build tree, named relative
# to the file, or Windows' own cmake.
function(zirna_native name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "COMMAND;PROPERTIES")
  list(POP_FRONT arg_COMMAND executable)
  if(NOT executable STREQUAL "cmake")
    set(executable "\${CMAKE_CURRENT_LIST_DIR}/$<PATH:RELATIVE_PATH,${executable},${CMAKE_BINARY_DIR}/native>")
  endif()
  set(line "add_test([=[${name}]=] \"${executable}\"")
  foreach(word IN LISTS arg_COMMAND)
    string(APPEND line " [=[${word}]=]")
  endforeach()
  string(APPEND line ")\nset_tests_properties([=[${name}]=] PROPERTIES")
  foreach(word IN LISTS arg_PROPERTIES)
    string(APPEND line " [=[${word}]=]")
  endforeach()
  set_property(GLOBAL APPEND_STRING PROPERTY ZIRNA_NATIVE_TESTS "${line})\n")
endfunction()

function(zirna_skipped_on_windows name reason)
  zirna_native(${name} COMMAND cmake -E echo "skipped: ${reason}"
               PROPERTIES SKIP_REGULAR_EXPRESSION "^skipped: ")
endfunction()

# add_wine_test(<target> [NAME name] [ARGS args...] [ENVIRONMENT var=value...]
#               [REQUIRES capabilities...] [LINUX_ONLY reason] [PASS regex])
# PASS is the sign of a complete run, doctest's success summary unless given.
function(add_wine_test target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME;LINUX_ONLY;PASS" "ARGS;ENVIRONMENT;REQUIRES")
  if(NOT arg_NAME)
    set(arg_NAME ${target})
  endif()
  set(properties ${zirna_doctest_properties})
  if(arg_PASS)
    set(properties ${zirna_test_properties} PASS_REGULAR_EXPRESSION "${arg_PASS}")
  endif()
  if(arg_LINUX_ONLY)
    zirna_skipped_on_windows(${arg_NAME} "${arg_LINUX_ONLY}")
  else()
    zirna_native(${arg_NAME} COMMAND $<TARGET_FILE:${target}> ${arg_ARGS} PROPERTIES ${properties})
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${arg_NAME} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
             COMMAND ${ZIRNA_MACHINE} require ${zirna_requires} ${arg_REQUIRES} --
                     ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${target}> ${arg_ARGS})
    set_tests_properties(${arg_NAME} PROPERTIES ${properties} RESOURCE_LOCK display
                         ENVIRONMENT "ZIRNA_MACHINE=${ZIRNA_MACHINE};${arg_ENVIRONMENT}")
  endif()
endfunction()

# add_linux_test(<name> <reason> PASS regex [REQUIRES capabilities...]
#                COMMAND command...)
# A test that drives the Windows build from Linux, beside Wine.
function(add_linux_test name reason)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "PASS" "REQUIRES;COMMAND")
  zirna_skipped_on_windows(${name} "${reason}")
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
             COMMAND ${ZIRNA_MACHINE} require ${arg_REQUIRES} -- ${arg_COMMAND})
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900 RESOURCE_LOCK display
      PASS_REGULAR_EXPRESSION "${arg_PASS}"
      ENVIRONMENT "WINE=${CMAKE_CROSSCOMPILING_EMULATOR};ZIRNA_MACHINE=${ZIRNA_MACHINE}")
  endif()
endfunction()

function(zirna_write_native_tests)
  get_property(tests GLOBAL PROPERTY ZIRNA_NATIVE_TESTS)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/native/CTestTestfile.cmake CONTENT "${tests}")
  if(NOT CMAKE_CROSSCOMPILING)
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/native/CTestTestfile.cmake)
  endif()
endfunction()
