# Cross build for Windows with mingw-w64, shared by the per-architecture toolchain files.
# The caller sets MINGW_TRIPLE (i686-w64-mingw32 or x86_64-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 5.1)

# The posix thread model, so that GoogleTest and std::thread build as on Linux; its runtime
# (winpthreads) is linked statically like the rest, so the programs run on a bare Windows.
find_program(MINGW_CXX NAMES ${MINGW_TRIPLE}-g++-posix ${MINGW_TRIPLE}-g++ REQUIRED)
find_program(MINGW_CC NAMES ${MINGW_TRIPLE}-gcc-posix ${MINGW_TRIPLE}-gcc)
find_program(MINGW_RC NAMES ${MINGW_TRIPLE}-windres REQUIRED)
set(CMAKE_CXX_COMPILER ${MINGW_CXX})
if(MINGW_CC)
  set(CMAKE_C_COMPILER ${MINGW_CC})
endif()
set(CMAKE_RC_COMPILER ${MINGW_RC})

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The header-only CLI11 of the build host serves the cross build too, through a folder that
# holds it alone (the host's /usr/include must not reach the cross compiler).
if(NOT CLI11_INCLUDE_DIR AND EXISTS /usr/include/CLI/CLI.hpp)
  set(LIVRANA_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${LIVRANA_HOST_HEADERS})
  file(CREATE_LINK /usr/include/CLI ${LIVRANA_HOST_HEADERS}/CLI SYMBOLIC)
  set(CLI11_INCLUDE_DIR ${LIVRANA_HOST_HEADERS} CACHE PATH "CLI11 headers")
endif()
# The header-only nlohmann-json (the command line's --json) joins it there.
if(EXISTS /usr/include/nlohmann/json.hpp AND NOT EXISTS ${CMAKE_BINARY_DIR}/host-headers/nlohmann)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/host-headers)
  file(CREATE_LINK /usr/include/nlohmann ${CMAKE_BINARY_DIR}/host-headers/nlohmann SYMBOLIC)
endif()

# GCC 12 reports a false overlap in the inlined std::string concatenation at -O2 and above
# (-Wrestrict, fixed in GCC 13); with -Werror that stops valid code.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Programs built here run under Wine: quiet, without the Mono and Gecko installers, in a
# prefix of the build folder's own (scripts/test-windows.sh also switches its debugger off,
# so that a crash fails its test instead of waiting). The prefix architecture follows the programs.
if(MINGW_TRIPLE MATCHES "^x86_64")
  set(LIVRANA_WINEARCH win64)
  # Debian's wine command prefers the 32-bit loader whenever it is installed.
  find_program(LIVRANA_WINE NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
  find_program(LIVRANA_WINE NAMES wine64 wine)
else()
  set(LIVRANA_WINEARCH win32)
  find_program(LIVRANA_WINE NAMES wine)
endif()
if(LIVRANA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=" WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
      WINEARCH=${LIVRANA_WINEARCH} ${LIVRANA_WINE})
endif()
