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

# Each .exe must run on a Windows with nothing installed: no libgcc,
# libstdc++ or winpthread DLLs beside it.
add_link_options(-static -static-libgcc -static-libstdc++)

# Not on Windows: the Qt front end and ALSA (WinMM takes its place); the
# analysis with FFTW is a Linux tool.
set(TALLOWMERE_BUILD_GUI OFF CACHE BOOL "Build the Qt desktop program" FORCE)
set(TALLOWMERE_HAVE_ALSA OFF)
set(TALLOWMERE_HAVE_WINMM ON)
set(TALLOWMERE_PLATFORM_FILE_SUFFIX Win32)

# The modules built for Windows, in dependency order, and their tests that
# run under Wine: the shared tests (their Linux-only files left out by each
# folder's CMakeLists.txt) and the Win32 implementations' own.
set(TALLOWMERE_PLATFORM_MODULES platform core wavefile audio sequence measure ui ui/win32 cli)
set(TALLOWMERE_PLATFORM_TEST_MODULES platform core wavefile wavefile/win32 audio audio/winmm sequence ui ui/win32)

# -O2, not -O3: at -O3 GCC 12 reports false -Wrestrict/-Warray-bounds
# findings inside libstdc++'s string and vector code for this target.
foreach(language C CXX)
  string(REPLACE "-O3" "-O2" CMAKE_${language}_FLAGS_RELEASE "${CMAKE_${language}_FLAGS_RELEASE}")
endforeach()
