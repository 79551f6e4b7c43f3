# Windows test executables run under Wine (the toolchain's emulator) inside a
# private Xvfb display and a private Wine prefix under the build tree. The
# CTest fixture "wine" starts both before the first such test and ends them
# after the last; tests that share the display's pointer and keyboard hold
# the resource lock "display" and so never run at the same time. Built on
# Windows itself, the same tests simply run.
include_guard(GLOBAL)

set(ZIRNA_WINE_ENVIRONMENT "")
set(ZIRNA_WINE_FIXTURE "")

if(CMAKE_CROSSCOMPILING)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(FATAL_ERROR "No Wine to run the Windows tests: install wine64 (scripts/install-deps.sh)")
  endif()

  set(ZIRNA_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
  # A display number of this build tree's own, so that several trees can test at once.
  string(MD5 _zirna_tree_hash "${CMAKE_BINARY_DIR}")
  string(SUBSTRING "${_zirna_tree_hash}" 0 4 _zirna_tree_hex)
  math(EXPR ZIRNA_TEST_DISPLAY "0x${_zirna_tree_hex} % 800 + 100")

  set(ZIRNA_WINE_ENVIRONMENT
      DISPLAY=:${ZIRNA_TEST_DISPLAY}
      WINEPREFIX=${ZIRNA_WINE_DIR}/prefix
      WINE=${CMAKE_CROSSCOMPILING_EMULATOR}
      WINEDEBUG=-all)
  set(ZIRNA_WINE_FIXTURE wine)

  add_test(NAME wine_session_start COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session.sh start)
  add_test(NAME wine_session_stop COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session.sh stop)
  set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 180
                       ENVIRONMENT "${ZIRNA_WINE_ENVIRONMENT}")
  set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60
                       ENVIRONMENT "${ZIRNA_WINE_ENVIRONMENT}")
endif()

# add_wine_test(<target> [NAME name] [ARGS args...] [ENVIRONMENT var=value...])
function(add_wine_test target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME" "ARGS;ENVIRONMENT")
  if(NOT arg_NAME)
    set(arg_NAME ${target})
  endif()
  add_test(NAME ${arg_NAME} COMMAND ${target} ${arg_ARGS}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${arg_NAME} PROPERTIES
    FIXTURES_REQUIRED "${ZIRNA_WINE_FIXTURE}" RESOURCE_LOCK display TIMEOUT 600
    ENVIRONMENT "${ZIRNA_WINE_ENVIRONMENT};${arg_ENVIRONMENT}")
endfunction()
