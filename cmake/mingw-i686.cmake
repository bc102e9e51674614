# Cross build for 32-bit Windows with mingw-w64 (Debian g++-mingw-w64-i686), against the real
# Windows SDK headers: the module compiles unchanged for the platform it ships on, and its tests
# run against the real COM, OLE automation and msxml under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry the compiler's runtime inside, so that Wine needs nothing but the module's DLL.
# Windows Vista (6.0) is the oldest that runs them (the runtime imports GetTickCount64): the SDK
# headers offer nothing newer and the PE header states it.
set(windows_version_flags
    "-Wl,--major-os-version,6,--minor-os-version,0,--major-subsystem-version,6,--minor-subsystem-version,0")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0600 -DWINVER=0x0600")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static ${windows_version_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${windows_version_flags}")
# Release binaries ship without symbols or debug sections.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")

# ctest (and test discovery) run the test programs through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
