# How a test of the Windows build is registered: the one place.
#
# Cross-built on Linux, a test runs under Wine (the toolchain's emulator,
# scripts/lib/wine.sh), in the X display and Wine prefix that the test
# command gives the whole CTest run (scripts/lib/session.sh), when
# scripts/lib/machine.sh says that this machine can do what the test needs
# (a display, the 32-bit Wine for the x86 build, and the test's own needs);
# else CTest reports it as skipped, with the reason in its output.
#
# The same build also writes native/CTestTestfile.cmake: the tests that
# Windows can run, for these very executables, as Windows runs them. The
# GitHub workflow runs it on Windows with "ctest --test-dir native". Built on
# Windows itself, the tests are registered as they are. On Windows, a test
# that needs Linux is reported as skipped, with its reason.
include_guard(GLOBAL)
set(ZIRNA_MACHINE ${PROJECT_SOURCE_DIR}/scripts/lib/machine.sh)
set(zirna_requires display)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(zirna_requires wine32 display)
endif()
set(zirna_doctest_properties SKIP_RETURN_CODE 77 TIMEOUT 600
    # A doctest filter that matches no test case must not pass for a test.
    FAIL_REGULAR_EXPRESSION "test cases: +0 [|]")

# A test as Windows runs it: in a cross build, a line of the native file,
# which names an executable of this build tree relative to itself; in a
# build on Windows, the test itself.
function(zirna_native name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "COMMAND;PROPERTIES")
  if(NOT CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${arg_COMMAND})
    set_tests_properties(${name} PROPERTIES ${arg_PROPERTIES})
    return()
  endif()
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

# A test that Windows cannot run: skipped there, with the reason.
function(zirna_skipped_on_windows name reason)
  set(cmake ${CMAKE_COMMAND})
  if(CMAKE_CROSSCOMPILING)
    set(cmake cmake) # Windows' own
  endif()
  zirna_native(${name} COMMAND ${cmake} -E echo "skipped: ${reason}"
               PROPERTIES SKIP_REGULAR_EXPRESSION "^skipped: ")
endfunction()

# add_wine_test(<target> [NAME name] [ARGS args...] [ENVIRONMENT var=value...]
#               [REQUIRES capabilities...] [LINUX_ONLY reason])
# LINUX_ONLY: the test needs Linux beside Wine, and says why on Windows.
function(add_wine_test target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME;LINUX_ONLY" "ARGS;ENVIRONMENT;REQUIRES")
  if(NOT arg_NAME)
    set(arg_NAME ${target})
  endif()
  if(arg_LINUX_ONLY)
    zirna_skipped_on_windows(${arg_NAME} "${arg_LINUX_ONLY}")
  else()
    zirna_native(${arg_NAME} COMMAND $<TARGET_FILE:${target}> ${arg_ARGS}
                 PROPERTIES ${zirna_doctest_properties})
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${arg_NAME} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
             COMMAND ${ZIRNA_MACHINE} require ${zirna_requires} ${arg_REQUIRES} --
                     ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${target}> ${arg_ARGS})
    set_tests_properties(${arg_NAME} PROPERTIES ${zirna_doctest_properties} RESOURCE_LOCK display
                         ENVIRONMENT "ZIRNA_MACHINE=${ZIRNA_MACHINE};${arg_ENVIRONMENT}")
  endif()
endfunction()

# add_linux_test(<name> <reason> [REQUIRES capabilities...] COMMAND command...)
# A test that drives the Windows build from Linux, beside Wine, in the test
# command's session; on Windows it is skipped, saying why.
function(add_linux_test name reason)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "REQUIRES;COMMAND")
  zirna_skipped_on_windows(${name} "${reason}")
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
             COMMAND ${ZIRNA_MACHINE} require ${arg_REQUIRES} -- ${arg_COMMAND})
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900 RESOURCE_LOCK display
      ENVIRONMENT "WINE=${CMAKE_CROSSCOMPILING_EMULATOR};ZIRNA_MACHINE=${ZIRNA_MACHINE}")
  endif()
endfunction()

# The native test file, once every test is registered.
function(zirna_write_native_tests)
  if(CMAKE_CROSSCOMPILING)
    get_property(tests GLOBAL PROPERTY ZIRNA_NATIVE_TESTS)
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/native/CTestTestfile.cmake CONTENT
         "# The tests of this build that Windows runs: ctest --test-dir native\n${tests}")
  endif()
endfunction()
