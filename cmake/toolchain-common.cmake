# Shared part of the two cross toolchain files; KOVA_TRIPLE names the target.
set(CMAKE_C_COMPILER ${KOVA_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KOVA_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KOVA_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KOVA_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# A Windows machine with nothing but Windows must run what we build: no libstdc++, libgcc or
# winpthread DLLs, so link the runtime statically into every program and DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
