# 64-bit Windows: the same sources on the Windows APIs, with every test
# program run under wine64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ZVM_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
find_program(ZVM_WINE64 wine64 PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZVM_WINE64})
