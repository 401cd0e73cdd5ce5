# Every target of the project compiles with these warnings; presets turn them
# into errors.
if(MSVC)
  add_compile_options(/W4 /permissive-)
else()
  add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
                      -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wnull-dereference
                      -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
  # C sources do not know the C++-only warnings.
  add_compile_options($<$<COMPILE_LANGUAGE:C>:-Wno-old-style-cast>)
  # GCC 12 at -O3 reports a null dereference inside libstdc++'s own
  # istreambuf_iterator, and overlapping copies inside std::string appends:
  # both in the library's headers, not in the code they are inlined into.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    add_compile_options($<$<CONFIG:Release>:-Wno-null-dereference> $<$<CONFIG:Release>:-Wno-restrict>)
  endif()
endif()
