# zarn_link_runtime_statically(<target>): the target carries its own copy of
# the C++ runtime, so that starting it costs no loading and relocating of
# libstdc++. Every program and library that the tool loads at one time must
# do the same: a copy of libstdc++ loaded beside one linked in would let a
# library loaded and unloaded at run time be pinned in memory by the shared
# runtime's unique symbols. GCC on ELF only: MinGW builds link the runtime
# statically anyway, and the sanitizers need the shared one.
function(zarn_link_runtime_statically target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT WIN32 AND NOT CMAKE_EXE_LINKER_FLAGS MATCHES "sanitize"
     AND NOT CMAKE_SHARED_LINKER_FLAGS MATCHES "sanitize")
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
      # The runtime's symbols stay inside the library.
      target_link_options(${target} PRIVATE "LINKER:--exclude-libs,ALL")
    endif()
  endif()
endfunction()
