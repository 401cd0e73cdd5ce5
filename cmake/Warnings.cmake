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
endif()
