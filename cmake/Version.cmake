# The release's version, from project(): the one place every binary takes it
# from.
#   zarn_version: link it to compile a source with ZARN_VERSION, the version
#     as a narrow string literal ("1.1.0").
#   zarn_add_version_info(target fileName description): on Windows, gives the
#     target a VERSIONINFO resource (what Explorer shows under Details).
add_library(zarn_version INTERFACE)
target_compile_definitions(zarn_version INTERFACE ZARN_VERSION="${PROJECT_VERSION}")

function(zarn_add_version_info target fileName description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(ZARN_FILE_TYPE VFT_DLL)
  else()
    set(ZARN_FILE_TYPE VFT_APP)
  endif()
  set(ZARN_FILE_NAME "${fileName}")
  set(ZARN_FILE_DESCRIPTION "${description}")
  set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${resource} @ONLY)
  target_sources(${target} PRIVATE ${resource})
endfunction()
