# SPDX-License-Identifier: GPL-3.0-or-later
# What an installation carries besides the programs (manual pages, shell
# completion, desktop integration, the copyright file), its checks, and the
# Debian package made from it by CPack (`make package`).
#
# CPack's DEB generator rather than a debian/ directory: the package is made
# from the one CMake build and its install rules, with the version taken from
# project() alone, while dpkg-shlibdeps still computes Depends from the
# programs' shared libraries. A debian/ directory would describe the build
# and the version a second time.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()
include(GNUInstallDirs)

set(TALLOWMERE_HOMEPAGE "https://github.com/tallowmere/tallowmere")
set(TALLOWMERE_CONTACT "developers@tallowmere.invalid" CACHE STRING "Maintainer address of the package")
# The date of the release named by the project version; change the two together.
set(TALLOWMERE_RELEASE_DATE "2026-12-09")
# The screenshots are the repository's own images, by their address on the
# project's site; validation without network checks only the form.
set(TALLOWMERE_SCREENSHOTS "https://raw.githubusercontent.com/tallowmere/tallowmere/main/docs/images")

add_subdirectory(${PROJECT_SOURCE_DIR}/docs/man ${PROJECT_BINARY_DIR}/docs/man)
add_subdirectory(${PROJECT_SOURCE_DIR}/completion ${PROJECT_BINARY_DIR}/completion)
add_subdirectory(${PROJECT_SOURCE_DIR}/data ${PROJECT_BINARY_DIR}/data)
add_subdirectory(${PROJECT_SOURCE_DIR}/packaging ${PROJECT_BINARY_DIR}/packaging)
if(TALLOWMERE_BUILD_TESTS)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/packaging ${PROJECT_BINARY_DIR}/tests/packaging)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallowmere)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tallowmere developers")
set(CPACK_PACKAGE_CONTACT "The Tallowmere developers <${TALLOWMERE_CONTACT}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sound card tester: record and play back in a chosen PCM format")
# CPack puts the summary first and indents these lines itself.
set(CPACK_PACKAGE_DESCRIPTION "Tallowmere checks whether a sound card can record and play back audio in a
linear PCM format you choose: channels, sampling rate, sampling precision,
valid precision, and a plain PCM or extensible wave format. It records into
one buffer in exactly that format, plays it back, and reports every device
step in plain text; the recording can be saved as a WAVE file.

The package holds the Qt desktop program, tallowmere, and tallowmere-cli
for terminals and scripts. Built-in virtual devices let both run without
a sound card.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TALLOWMERE_HOMEPAGE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plug-in at run time, which dpkg-shlibdeps cannot see;
# without it the window cannot open on X11 or Wayland.
if(TALLOWMERE_BUILD_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "alsa-utils, sox")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
