# Linux 32-bit x86 build with the host compiler (gcc-multilib, g++-multilib).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# The i386 builds of zlib, libbz2 and the other comparison libraries are not
# installed: tests that use them as oracles run in the 64-bit build only.
set(ORVDC_ORACLES OFF CACHE BOOL "" FORCE)
set(ORVDC_BUILD_BENCH OFF CACHE BOOL "" FORCE)
