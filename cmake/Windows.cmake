# SPDX-License-Identifier: GPL-3.0-or-later
# Settings of the Windows cross builds (mingw-w64), included by the top-level
# CMakeLists.txt when the target system is Windows.

# The oldest Windows the toolchain's runtime loads on: Debian's static
# winpthreads imports GetTickCount64, which Windows Vista brought, so
# nothing older can start these programs whatever the code asks for.
set(TALLOWMERE_WIN32_WINNT 0x0600)
add_compile_definitions(_WIN32_WINNT=${TALLOWMERE_WIN32_WINNT} WINVER=${TALLOWMERE_WIN32_WINNT} NOMINMAX)
# The wave files name errno values; Windows' C runtime has no EDQUOT. Give
# it the Winsock value of the same name, which no call here returns.
add_compile_definitions(EDQUOT=10069)
# The C runtime's own printf knows no %zu and writes some numbers otherwise
# than C99 says; mingw-w64's conforming one prints what Linux prints.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)

# Each .exe must run on a Windows with nothing installed: no libgcc,
# libstdc++ or winpthread DLLs beside it.
add_link_options(-static -static-libgcc -static-libstdc++)

# Not on Windows: the Qt front end, the pictures (Qt's painter) and ALSA
# (WinMM takes its place). The analysis is built with an FFTW of its own.
set(TALLOWMERE_BUILD_GUI OFF CACHE BOOL "Build the Qt desktop program" FORCE)
set(TALLOWMERE_HAVE_ALSA OFF)
set(TALLOWMERE_HAVE_WINMM ON)
set(TALLOWMERE_PLATFORM_FILE_SUFFIX Win32)
if(TALLOWMERE_ANALYSIS)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsFftw.cmake)
endif()

# The 32-bit build computes in SSE2 registers, as the 64-bit one and Linux
# do, not in the x87's 80-bit ones: the analysis's figures then agree with
# the other builds' to the last printed digit. Every x86 processor since
# the Pentium 4 has SSE2.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  add_compile_options(-msse2 -mfpmath=sse)
endif()

# The modules built for Windows, in dependency order, and their tests that
# run under Wine: the shared tests (their Linux-only files left out by each
# folder's CMakeLists.txt) and the Win32 implementations' own.
set(TALLOWMERE_PLATFORM_MODULES platform core wavefile analysis audio sequence measure ui ui/win32 cli)
set(TALLOWMERE_PLATFORM_TEST_MODULES platform core wavefile wavefile/win32 analysis audio audio/winmm audio/wasapi
                                     sequence measure ui ui/win32)

# -O2, not -O3: at -O3 GCC 12 reports false -Wrestrict/-Warray-bounds
# findings inside libstdc++'s string and vector code for this target.
foreach(language C CXX)
  string(REPLACE "-O3" "-O2" CMAKE_${language}_FLAGS_RELEASE "${CMAKE_${language}_FLAGS_RELEASE}")
endforeach()
