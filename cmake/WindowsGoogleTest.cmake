# SPDX-License-Identifier: GPL-3.0-or-later
# GoogleTest and GoogleMock for the cross builds, compiled from Debian's
# source package with the project's compilers; gives the same targets as
# find_package(GTest) does on Linux.
set(TALLOWMERE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (googletest package)")
if(NOT EXISTS ${TALLOWMERE_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${TALLOWMERE_GOOGLETEST_SOURCE} (install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
# Third-party code: our warning flags are not its business. Its own
# CMakeLists.txt provides the GTest:: names.
get_directory_property(TALLOWMERE_SAVED_COMPILE_OPTIONS COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${TALLOWMERE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${TALLOWMERE_SAVED_COMPILE_OPTIONS}")
