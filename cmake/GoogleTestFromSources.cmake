# GoogleTest for a cross build, compiled for the target from Debian's packaged
# sources (the "googletest" package): the build machine's libraries do not fit
# the target. Provides the same GTest:: targets as find_package(GTest).
set(ZARN_GOOGLETEST_SOURCES /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${ZARN_GOOGLETEST_SOURCES}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${ZARN_GOOGLETEST_SOURCES}: install Debian's googletest package")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${ZARN_GOOGLETEST_SOURCES} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_target_properties(gtest gtest_main gmock gmock_main PROPERTIES COMPILE_WARNING_AS_ERROR OFF)

# List the tests when CTest runs them, through the emulator, rather than at
# build time: the build then needs no emulator at all.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
