# What an install holds (layout in InstallLayout.cmake), and the packages CPack
# makes of it: a .deb and a .tar.gz from a Linux build, a .zip from the Windows
# build. scripts/package makes all three.

set(ZARN_PACKAGE_MAINTAINER "zarnrepo developers <zarnrepo@example.org>" CACHE STRING
    "The Maintainer of the .deb, and the author of its Debian change log")

zarn_install_targets(${ZARN_INSTALL_PROGRAMDIR} zarnrepo zarnrepo-inspect KVDFiles)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${ZARN_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/kvdfiles/README.md DESTINATION ${ZARN_INSTALL_DOCDIR} RENAME README.KVDFiles.md)
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION ${ZARN_INSTALL_DOCDIR})
else()
  zarn_install_targets(${CMAKE_INSTALL_BINDIR} zarnrepo-launcher zarnrepo-inspect-launcher)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${ZARN_INSTALL_DOCDIR})
  # The names Debian gives a package's change logs: the project's own, and
  # the package's.
  zarn_install_compressed(${PROJECT_SOURCE_DIR}/CHANGELOG.md changelog ${ZARN_INSTALL_DOCDIR})
  set(ZARN_DEBIAN_RELEASE 1)
  string(TIMESTAMP ZARN_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in ${CMAKE_BINARY_DIR}/changelog.Debian @ONLY)
  zarn_install_compressed(${CMAKE_BINARY_DIR}/changelog.Debian changelog.Debian ${ZARN_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "the zarnrepo developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file repository maintained from the command line")
set(CPACK_PACKAGE_DESCRIPTION
    "zarnrepo stores files in a repository directory under an identifier, with a\n"
    "description, a version, a permissions number and a destination path, and\n"
    "gets, replaces or removes them again, one command per run. Every change is\n"
    "atomic and durable, and backup copies of the changed file and of the index\n"
    "are kept. zarnrepo-inspect lists a repository and checks its stored copies.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-windows-x86_64)
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  # zarnrepo_<version>-<release>_<architecture>.deb
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${ZARN_DEBIAN_RELEASE})
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZARN_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends: from the libraries the programs link, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # CPack gives a package with a shared object below /usr/lib scripts that run
  # ldconfig; this takes them out again.
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/WithoutMaintainerScripts.cmake)
endif()
include(CPack)
