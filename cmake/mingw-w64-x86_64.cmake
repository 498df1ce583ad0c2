# Cross-compiles for 64-bit Windows with mingw-w64 (the posix thread model,
# so that std::thread and GoogleTest work) and runs the results under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER ${triple}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${triple}-g++-posix)
find_program(CMAKE_RC_COMPILER ${triple}-windres)
foreach(tool CMAKE_C_COMPILER CMAKE_CXX_COMPILER CMAKE_RC_COMPILER)
  if(NOT ${tool})
    message(FATAL_ERROR "${tool} for ${triple} not found: run tools/install-deps")
  endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe with no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
