# Shared part of the MinGW-w64 toolchain files: expects MINGW_TRIPLE to be set
# by the including file.
set(CMAKE_SYSTEM_NAME Windows)

find_program(MINGW_CXX NAMES ${MINGW_TRIPLE}-g++-win32 ${MINGW_TRIPLE}-g++)
find_program(MINGW_WINDRES NAMES ${MINGW_TRIPLE}-windres)
if(NOT MINGW_CXX OR NOT MINGW_WINDRES)
  message(FATAL_ERROR
    "The ${MINGW_TRIPLE} cross compiler or windres was not found. "
    "Install them with scripts/install-deps.sh (Debian: g++-mingw-w64 packages).")
endif()
set(CMAKE_CXX_COMPILER ${MINGW_CXX})
set(CMAKE_RC_COMPILER ${MINGW_WINDRES})

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run the Windows executables under Wine, each with the loader of its
# own architecture (scripts/lib/wine.sh).
get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/lib/wine.sh
                       ABSOLUTE)
