# Windows test executables run under Wine (the toolchain's emulator) inside a
# private Xvfb display and a private Wine prefix under the build tree. The
# CTest fixture "wine" starts both before the first such test and ends them
# after the last; tests that share the display's pointer and keyboard hold
# the resource lock "display" and so never run at the same time. Built on
# Windows itself, the same tests simply run, but those that need Linux beside
# Wine, which are reported as skipped there.
#
# What a test needs of the machine (32-bit programs for the x86 build, a
# read-only file, a mount) is asked of scripts/machine.sh as the test starts:
# where the machine cannot, CTest reports the test as skipped, with the reason
# in its output.
include_guard(GLOBAL)

set(ZIRNA_MACHINE ${PROJECT_SOURCE_DIR}/scripts/machine.sh)
set(ZIRNA_WINE_ENVIRONMENT ZIRNA_MACHINE=${ZIRNA_MACHINE})
set(ZIRNA_WINE_FIXTURE "")
set(ZIRNA_WINE_REQUIRES "")

if(CMAKE_CROSSCOMPILING)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(FATAL_ERROR "No emulator to run the Windows tests: use a toolchain file of cmake/")
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ZIRNA_WINE_ARCH x64)
  else()
    set(ZIRNA_WINE_ARCH x86)
    set(ZIRNA_WINE_REQUIRES wine32)
  endif()

  set(ZIRNA_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
  # A display number of this build tree's own, so that several trees can test at once.
  string(MD5 _zirna_tree_hash "${CMAKE_BINARY_DIR}")
  string(SUBSTRING "${_zirna_tree_hash}" 0 4 _zirna_tree_hex)
  math(EXPR ZIRNA_TEST_DISPLAY "0x${_zirna_tree_hex} % 800 + 100")

  list(APPEND ZIRNA_WINE_ENVIRONMENT
      DISPLAY=:${ZIRNA_TEST_DISPLAY}
      WINEPREFIX=${ZIRNA_WINE_DIR}/prefix
      WINE=${CMAKE_CROSSCOMPILING_EMULATOR}
      ZIRNA_WINE_ARCH=${ZIRNA_WINE_ARCH}
      WINEDEBUG=-all)
  set(ZIRNA_WINE_FIXTURE wine)

  # Making a fresh prefix takes half a minute on an idle machine, several
  # times that on a loaded one.
  foreach(step start stop)
    add_test(NAME wine_session_${step}
             COMMAND ${ZIRNA_MACHINE} require ${ZIRNA_WINE_REQUIRES} --
                     ${PROJECT_SOURCE_DIR}/scripts/wine-session.sh ${step})
    set_tests_properties(wine_session_${step} PROPERTIES
      TIMEOUT 600 SKIP_RETURN_CODE 77 ENVIRONMENT "${ZIRNA_WINE_ENVIRONMENT}")
  endforeach()
  set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

# The command that runs COMMAND... where this machine can do what the test
# needs (the capabilities of scripts/machine.sh; a cross build's Wine tests
# also need what its Wine does), or says why not and exits 77:
#   zirna_test_command(<out-var> "<capabilities>" COMMAND...)
# Built on Windows itself, the command runs as it is.
function(zirna_test_command out requires)
  if(CMAKE_HOST_UNIX)
    set(${out} ${ZIRNA_MACHINE} require ${ZIRNA_WINE_REQUIRES} ${requires} -- ${ARGN} PARENT_SCOPE)
  else()
    set(${out} ${ARGN} PARENT_SCOPE)
  endif()
endfunction()

# On Windows itself, a test that only Linux and Wine can run is registered
# all the same, as a command that says why it is skipped there.
function(zirna_skipped_on_windows name reason)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "skipped: ${reason}")
  set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "^skipped: ")
endfunction()

# add_wine_test(<target> [NAME name] [ARGS args...] [ENVIRONMENT var=value...]
#               [REQUIRES capabilities...] [LINUX_ONLY reason])
# LINUX_ONLY: the test needs Linux beside Wine, and says why it is skipped on
# Windows itself.
function(add_wine_test target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME;LINUX_ONLY" "ARGS;ENVIRONMENT;REQUIRES")
  if(NOT arg_NAME)
    set(arg_NAME ${target})
  endif()
  if(arg_LINUX_ONLY AND NOT CMAKE_HOST_UNIX)
    zirna_skipped_on_windows(${arg_NAME} "${arg_LINUX_ONLY}")
    return()
  endif()
  if(CMAKE_CROSSCOMPILING)
    zirna_test_command(command "${arg_REQUIRES}" ${CMAKE_CROSSCOMPILING_EMULATOR}
                       $<TARGET_FILE:${target}> ${arg_ARGS})
  else()
    zirna_test_command(command "${arg_REQUIRES}" $<TARGET_FILE:${target}> ${arg_ARGS})
  endif()
  add_test(NAME ${arg_NAME} COMMAND ${command} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  # A doctest filter that matches no test case must not pass for a test.
  set_tests_properties(${arg_NAME} PROPERTIES
    FIXTURES_REQUIRED "${ZIRNA_WINE_FIXTURE}" RESOURCE_LOCK display TIMEOUT 600
    SKIP_RETURN_CODE 77 FAIL_REGULAR_EXPRESSION "test cases: +0 [|]"
    ENVIRONMENT "${ZIRNA_WINE_ENVIRONMENT};${arg_ENVIRONMENT}")
endfunction()
