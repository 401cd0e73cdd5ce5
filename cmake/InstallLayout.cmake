# Where an install puts the project's files, below the install prefix.
#
# Linux: the launchers in bin/, the programs and KVDFiles.dll in a folder of
# their own, ZARN_INSTALL_PROGRAMDIR (the programs load the library from the
# folder they start in, which the launchers choose), man pages in
# share/man/man1/, documents in share/doc/zarnrepo/.
# Windows: one folder, the programs and the library at its top.
include(GNUInstallDirs)
if(WIN32)
  set(ZARN_INSTALL_PROGRAMDIR .)
  set(ZARN_INSTALL_DOCDIR .)
else()
  # Not CMAKE_INSTALL_LIBDIR: these are private programs, in the same place on
  # every architecture.
  set(ZARN_INSTALL_PROGRAMDIR lib/${PROJECT_NAME})
  set(ZARN_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
endif()

# zarn_installed: builds everything an install takes (the package presets
# build this target alone).
add_custom_target(zarn_installed)

# zarn_install_targets(destination target...): installs the programs or
# libraries given.
function(zarn_install_targets destination)
  # A library gets the mode of a library, and on Windows no import library
  # beside it.
  install(TARGETS ${ARGN}
          RUNTIME DESTINATION ${destination}
          LIBRARY DESTINATION ${destination} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
          ARCHIVE DESTINATION lib COMPONENT import_libraries EXCLUDE_FROM_ALL)
  add_dependencies(zarn_installed ${ARGN})
endfunction()

# zarn_install_compressed(source name destination): installs source as
# destination/name.gz, compressed at build time the way Debian wants it
# (gzip -9, without the name and time of the source).
function(zarn_install_compressed source name destination)
  find_program(ZARN_GZIP gzip REQUIRED)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/compressed/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/compressed
                     COMMAND ${ZARN_GZIP} -9 -n -c ${source} > ${compressed}
                     DEPENDS ${source} VERBATIM)
  string(MAKE_C_IDENTIFIER "zarn_compressed_${name}" target)
  add_custom_target(${target} ALL DEPENDS ${compressed})
  add_dependencies(zarn_installed ${target})
  install(FILES ${compressed} DESTINATION ${destination})
endfunction()
