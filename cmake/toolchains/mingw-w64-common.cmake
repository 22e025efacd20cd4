# SPDX-License-Identifier: GPL-3.0-or-later
# What both mingw-w64 toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR
# and TALLOWMERE_MINGW_TRIPLE first. Debian's -posix compilers: their
# libstdc++ has std::thread over winpthreads.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TALLOWMERE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALLOWMERE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TALLOWMERE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TALLOWMERE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run through Wine on the build machine.
find_program(TALLOWMERE_WINE wine)
if(TALLOWMERE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TALLOWMERE_WINE})
endif()

