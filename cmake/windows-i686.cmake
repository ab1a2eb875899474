# The client's platform: 32-bit Windows. Only the plugin DLL is built and
# checked here; no 32-bit Windows program can run on this machine.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZVM_MINGW_TARGET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
