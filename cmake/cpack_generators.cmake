# Read by cpack once for each generator. The tarball holds the portable program (with its
# copy of ISA-L) and the documents, under one directory named with the version and the
# platform; the Debian package the plain install, as cmake --install puts it.
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_INSTALL_CMAKE_PROJECTS
      "${CPACK_TAGSIFT_BINARY_DIR};tagsift;portable;/"
      "${CPACK_TAGSIFT_BINARY_DIR};tagsift;docs;/")
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_TAGSIFT_TARBALL_NAME})
endif()
