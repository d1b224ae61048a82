# The wheels' toolchain: zig's clang and archiver through zig-c++ and its
# links beside this file (see zig-c++).  pybind11's link-time optimisation
# stays off, so that every wheel is compiled alike.
set(CMAKE_CXX_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig-c++" CACHE FILEPATH "" FORCE)
set(CMAKE_C_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig-cc" CACHE FILEPATH "" FORCE)
set(CMAKE_AR "${CMAKE_CURRENT_LIST_DIR}/zig-ar" CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB "${CMAKE_CURRENT_LIST_DIR}/zig-ranlib" CACHE FILEPATH "" FORCE)
set(CMAKE_STRIP "${CMAKE_CURRENT_LIST_DIR}/zig-strip" CACHE FILEPATH "" FORCE)
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION OFF)
# zig has no strip for shared objects; its linker strips instead.
foreach(kind IN ITEMS EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-s")
endforeach()
