# Shared part of the MinGW-w64 toolchain files: expects MINGW_TRIPLE and
# WINE_LOADER_NAMES to be set by the including file.
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

# Tests run the Windows executables under Wine.
find_program(WINE_LOADER NAMES ${WINE_LOADER_NAMES} PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT WINE_LOADER)
  find_program(WINE_LOADER NAMES ${WINE_LOADER_NAMES})
endif()
if(WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_LOADER})
else()
  message(WARNING "Wine (${WINE_LOADER_NAMES}) was not found: the Windows tests cannot run.")
endif()
