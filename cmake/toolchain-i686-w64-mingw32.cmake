# 32-bit Windows, the build we ship. The -posix compilers carry std::mutex,
# which GoogleTest needs; the static runtime lets the programs start on a
# bare Windows with no DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUADRELL_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
