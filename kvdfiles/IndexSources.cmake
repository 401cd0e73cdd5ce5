# The sources of the index file code and what it needs, by absolute path:
# the library, the fuzz target and the benchmark's builder (which also
# builds on its own) all compile this one list, and link the text encoding
# (zarn_encoding; KVDFILES_INDEX_ENCODING_SOURCES where it is not built).
set(KVDFILES_INDEX_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CheckedBlocks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Crc32c.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Crc32cHardware.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IndexBase.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IndexChange.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IndexImage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IndexRecord.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IndexWalk.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Utf16Text.cpp)
set(KVDFILES_INDEX_ENCODING_SOURCES ${CMAKE_CURRENT_LIST_DIR}/../encoding/WideText.cpp)
