# A second compiler for the Windows target: Debian's clang for
# x86_64-w64-mingw32, with mingw-w64 GCC's libstdc++ (posix thread model) and
# its linker. Code that only one compiler accepts shows up here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(velmo_mingw_target x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${velmo_mingw_target})
set(CMAKE_CXX_COMPILER_TARGET ${velmo_mingw_target})
set(CMAKE_RC_COMPILER ${velmo_mingw_target}-windres)
set(CMAKE_DLLTOOL ${velmo_mingw_target}-dlltool)

# clang finds the mingw-w64 headers and libraries by itself, but not GCC's
# C++ library, and it would take the win32 thread model's folder.
set(velmo_gcc_dir /usr/lib/gcc/${velmo_mingw_target}/12-posix)
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${velmo_gcc_dir}/include/c++ -isystem ${velmo_gcc_dir}/include/c++/${velmo_mingw_target}")
# LLVM's linker: GNU ld reports every type-information record of the C++
# library that clang and GCC lay out differently (harmlessly) as a duplicate.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -static -L${velmo_gcc_dir}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -static -L${velmo_gcc_dir}")
# The posix model's libstdc++ calls winpthreads, and the driver puts its own
# -lstdc++ after every library given here: name both, in that order.
set(CMAKE_CXX_STANDARD_LIBRARIES "-lstdc++ -lpthread")

set(CMAKE_FIND_ROOT_PATH /usr/${velmo_mingw_target})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

get_filename_component(_velmo_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_velmo_root}/scripts/wine-run")
