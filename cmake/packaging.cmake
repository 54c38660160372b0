# What `cmake --install` puts in place and what `cpack` packs of it: a Debian package that
# lintian accepts. Kept apart from the build itself so that the two change independently.

include(GNUInstallDirs)

# Every directory the install creates gets the same mode, whatever the packager's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(TAGSIFT_PACKAGE_MAINTAINER "The tagsift developers <tagsift@example.org>"
    CACHE STRING "Maintainer field of the Debian package (a name and an address in <>)")

# Debian wants man pages compressed; -n leaves out the name and time stamp, so the same page
# always gives the same bytes.
find_program(TAGSIFT_GZIP gzip REQUIRED)
set(TAGSIFT_MAN_GZ ${CMAKE_CURRENT_BINARY_DIR}/tagsift.1.gz)
add_custom_command(OUTPUT ${TAGSIFT_MAN_GZ}
  COMMAND ${TAGSIFT_GZIP} -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/docs/tagsift.1 > ${TAGSIFT_MAN_GZ}
  DEPENDS docs/tagsift.1
  VERBATIM)

# A native package (its version has no Debian revision) keeps its Debian-format changelog
# as changelog.gz. The file is kept by hand so that each release says what it brought.
set(TAGSIFT_CHANGELOG_GZ ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${TAGSIFT_CHANGELOG_GZ}
  COMMAND ${TAGSIFT_GZIP} -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/cmake/changelog > ${TAGSIFT_CHANGELOG_GZ}
  DEPENDS cmake/changelog
  VERBATIM)
add_custom_target(tagsift_docs ALL DEPENDS ${TAGSIFT_MAN_GZ} ${TAGSIFT_CHANGELOG_GZ})

file(STRINGS cmake/changelog TAGSIFT_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT TAGSIFT_CHANGELOG_TOP MATCHES "^tagsift \\(${PROJECT_VERSION}\\) ")
  message(WARNING "cmake/changelog has no entry for version ${PROJECT_VERSION} at its top")
endif()

# The Debian machine-readable copyright file, made from LICENSE so the two cannot disagree:
# the copyright line becomes the Copyright field, the rest the license text.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)
file(STRINGS LICENSE TAGSIFT_LICENSE_LINES)
set(TAGSIFT_COPYRIGHT_HOLDERS "")
set(TAGSIFT_LICENSE_TEXT "")
set(TAGSIFT_IN_TEXT OFF)
foreach(line IN LISTS TAGSIFT_LICENSE_LINES)
  if(line MATCHES "^Copyright \\(c\\) (.*)$")
    set(TAGSIFT_COPYRIGHT_HOLDERS "${CMAKE_MATCH_1}")
    set(TAGSIFT_IN_TEXT ON)
  elseif(TAGSIFT_IN_TEXT)
    if(line STREQUAL "")
      string(APPEND TAGSIFT_LICENSE_TEXT " .\n")
    else()
      string(APPEND TAGSIFT_LICENSE_TEXT " ${line}\n")
    endif()
  endif()
endforeach()
if(TAGSIFT_COPYRIGHT_HOLDERS STREQUAL "")
  message(FATAL_ERROR "LICENSE has no line 'Copyright (c) YEAR HOLDER'")
endif()
# The blank line after the copyright line is not part of the license text.
string(REGEX REPLACE "^ \\.\n" "" TAGSIFT_LICENSE_TEXT "${TAGSIFT_LICENSE_TEXT}")
set(TAGSIFT_COPYRIGHT ${CMAKE_CURRENT_BINARY_DIR}/copyright)
file(WRITE ${TAGSIFT_COPYRIGHT}.new
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: tagsift
Comment: The MIT license, which Debian names Expat.

Files: *
Copyright: ${TAGSIFT_COPYRIGHT_HOLDERS}
License: Expat

License: Expat
${TAGSIFT_LICENSE_TEXT}")
# Rewritten only when it changes, so a new configure does not reinstall it.
file(COPY_FILE ${TAGSIFT_COPYRIGHT}.new ${TAGSIFT_COPYRIGHT} ONLY_IF_DIFFERENT)
file(REMOVE ${TAGSIFT_COPYRIGHT}.new)

install(TARGETS tagsift RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(FILES ${TAGSIFT_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT docs)
install(FILES docs/tagsift.txt README.md ${TAGSIFT_COPYRIGHT} ${TAGSIFT_CHANGELOG_GZ}
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT docs)

# The program a worker can run wherever it is unpacked, with nothing installed but the C and
# C++ runtimes: the same program linked with a run path of $ORIGIN/../lib, beside a copy of
# the ISA-L it was linked with (Debian ships ISA-L as a shared library only). Only the tarball
# takes it; a plain install and the Debian package keep the plain binary, which finds ISA-L
# where the system keeps it (Debian forbids run paths in its packages).
add_executable(tagsift_portable src/driver/main.cpp)
target_link_libraries(tagsift_portable PRIVATE tagsift_lib)
target_link_options(tagsift_portable PRIVATE ${tagsift_runtime_link})
set_target_properties(tagsift_portable PROPERTIES
  OUTPUT_NAME tagsift
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/portable/bin
  INSTALL_RPATH "$ORIGIN/../lib"
  BUILD_WITH_INSTALL_RPATH ON)
install(TARGETS tagsift_portable RUNTIME DESTINATION bin COMPONENT portable EXCLUDE_FROM_ALL)
# ISA-L's shared library under each of its names (libisal.so.2 -> libisal.so.2.0.30), from
# where the one the program links with lies; a static libisal.a leaves nothing to carry.
# (install(TARGETS ... RUNTIME_DEPENDENCIES) would find it too, but not in a cross build.)
get_filename_component(TAGSIFT_ISAL_DIR ${ISAL_LIBRARY} DIRECTORY)
file(GLOB TAGSIFT_ISAL_FILES ${TAGSIFT_ISAL_DIR}/libisal.so.*)
install(FILES ${TAGSIFT_ISAL_FILES} DESTINATION lib COMPONENT portable EXCLUDE_FROM_ALL)
# ISA-L's license asks that its notice travel with the library.
get_filename_component(TAGSIFT_ISAL_PREFIX ${ISAL_INCLUDE_DIR} DIRECTORY)
find_file(TAGSIFT_ISAL_COPYRIGHT copyright
  PATHS ${TAGSIFT_ISAL_PREFIX}/share/doc/libisal2 ${TAGSIFT_ISAL_PREFIX}/share/doc/libisal-dev
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
  DOC "ISA-L's copyright and license, carried in the tarball beside its library")
if(TAGSIFT_ISAL_COPYRIGHT)
  install(FILES ${TAGSIFT_ISAL_COPYRIGHT} DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright.isa-l
    COMPONENT portable EXCLUDE_FROM_ALL)
else()
  message(WARNING "ISA-L's copyright file was not found (set TAGSIFT_ISAL_COPYRIGHT): "
                  "the tarball will carry its library without its license")
endif()

# cpack in the build directory makes a Debian package of the plain install and a tarball
# (TGZ) of the portable program and the documents; cmake/cpack_generators.cmake tells each
# generator its part.
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/cmake/cpack_generators.cmake)
set(CPACK_TAGSIFT_BINARY_DIR ${CMAKE_CURRENT_BINARY_DIR})
string(TOLOWER "linux-${CMAKE_SYSTEM_PROCESSOR}" TAGSIFT_PLATFORM)
set(CPACK_TAGSIFT_TARBALL_NAME tagsift-${PROJECT_VERSION}-${TAGSIFT_PLATFORM})
set(CPACK_PACKAGE_NAME tagsift)
set(CPACK_PACKAGE_VENDOR "The tagsift developers")
set(CPACK_PACKAGE_CONTACT "${TAGSIFT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fast streaming command-line HTML filter")
# Debian shows the description as written, so its lines are kept under 80 columns; CPack
# puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "tagsift reads an HTML page on standard input and prints, for every tag that
one of its rules selects, a line built from a format: links, images, form
fields, table cells, headings, counts. It builds no document tree and reads
the page once, so it runs at the speed of reading, in little memory.")
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
find_program(TAGSIFT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TAGSIFT_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  if(tagsift_runtime_link)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libisal2")
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libisal2")
  endif()
endif()
include(CPack)
