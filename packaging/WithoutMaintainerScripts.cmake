# Run by CPack after it has made the packages (CPACK_POST_BUILD_SCRIPTS).
#
# CPack's DEB generator gives every package that holds a shared object below
# /usr/lib a postinst and a postrm that run ldconfig. KVDFiles.dll is a
# private library that the programs load by its path, which ldconfig has
# nothing to do for, and the package is to have no maintainer scripts: the
# .deb is packed again without them.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/without-maintainer-scripts)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  execute_process(COMMAND dpkg-deb --root-owner-group --build ${tree} ${package}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
