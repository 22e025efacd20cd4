# SPDX-License-Identifier: GPL-3.0-or-later
# FFTW for the Windows cross builds. Debian ships no mingw-w64 build of it,
# so it is compiled here from Debian's fftw3 source package
# (scripts/windows-fftw-source.sh), once per build tree: the steps' stamps
# in <build>/fftw keep a second configure or build from repeating it. It is
# linked statically, like everything in the Windows programs (FFTW is
# GPL-2.0-or-later, which the program's GPL-3.0-or-later takes in).
# Gives the imported target Fftw3::fftw3, as src/analysis expects.
include(ExternalProject)

set(TALLOWMERE_FFTW_VERSION 3.3.10)
set(TALLOWMERE_FFTW_JOBS 2 CACHE STRING "Parallel jobs of FFTW's own make in the Windows builds")
set(fftw_root ${CMAKE_BINARY_DIR}/fftw)
set(fftw_install ${fftw_root}/install)

# Double precision only, the SIMD codelets Debian builds for x86 (SSE2; not
# AVX: GCC cannot align the 32-byte stack slots AVX code spills to on
# Windows), its own aligned malloc since the C runtime's is 8- or 16-byte
# aligned, no Fortran, threads or documentation. On i686 the arithmetic
# stays in SSE2 registers as on x86-64, so the figures do not depend on
# the x87's wider intermediates.
set(fftw_cflags "-O3 -fomit-frame-pointer -fstrict-aliasing")
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  string(APPEND fftw_cflags " -msse2 -mfpmath=sse")
endif()
set(fftw_cc ${CMAKE_C_COMPILER})
if(CMAKE_C_COMPILER_LAUNCHER)
  set(fftw_cc "${CMAKE_C_COMPILER_LAUNCHER} ${CMAKE_C_COMPILER}")
endif()

set(fftw_make make -j${TALLOWMERE_FFTW_JOBS})

ExternalProject_Add(fftw3_windows
  PREFIX ${fftw_root}
  SOURCE_DIR ${fftw_root}/source
  BINARY_DIR ${fftw_root}/build
  INSTALL_DIR ${fftw_install}
  DOWNLOAD_COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/windows-fftw-source.sh ${TALLOWMERE_FFTW_VERSION} <SOURCE_DIR>
  UPDATE_COMMAND ""
  CONFIGURE_COMMAND <SOURCE_DIR>/configure --host=${TALLOWMERE_MINGW_TRIPLE} --prefix=<INSTALL_DIR>
                    --enable-static --disable-shared --enable-sse2 --with-our-malloc
                    --disable-fortran --disable-threads --disable-doc
                    "CC=${fftw_cc}" "CFLAGS=${fftw_cflags}"
  # The library alone: FFTW's own tests, benchmark and tools are not needed.
  BUILD_COMMAND ${fftw_make} -C support
        COMMAND ${fftw_make} -C kernel
        COMMAND ${fftw_make} -C simd-support
        COMMAND ${fftw_make} -C dft
        COMMAND ${fftw_make} -C rdft
        COMMAND ${fftw_make} -C reodft
        COMMAND ${fftw_make} -C api
        COMMAND ${fftw_make} libfftw3.la
  INSTALL_COMMAND make install-libLTLIBRARIES COMMAND make -C api install-includeHEADERS
  BUILD_BYPRODUCTS ${fftw_install}/lib/libfftw3.a
  LOG_DOWNLOAD ON LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)

# The include directory must exist when the target is defined.
file(MAKE_DIRECTORY ${fftw_install}/include)
add_library(Fftw3::fftw3 STATIC IMPORTED GLOBAL)
set_target_properties(Fftw3::fftw3 PROPERTIES
  IMPORTED_LOCATION ${fftw_install}/lib/libfftw3.a
  INTERFACE_INCLUDE_DIRECTORIES ${fftw_install}/include)
add_dependencies(Fftw3::fftw3 fftw3_windows)
