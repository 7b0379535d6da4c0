# 64-bit Windows: the same programs, for hosts whose kernel cannot run 32-bit programs
# (and so cannot run 32-bit Wine) to test the Windows build.
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
