# The package packer, a tool of the build machine in both builds. Included by the directory that
# packs the archives; gives QM_PACKER (the tool to run) and QM_PACKER_DEPENDS (what to wait for).
set(_qm_packer_source ${CMAKE_CURRENT_LIST_DIR}/pack_driver_package.cpp)

if(NOT CMAKE_CROSSCOMPILING)
  find_library(QM_HOST_MINIZIP minizip REQUIRED)
  find_library(QM_HOST_ZLIB z REQUIRED)
  add_executable(qm_pack_driver_package ${_qm_packer_source})
  set_target_properties(qm_pack_driver_package PROPERTIES OUTPUT_NAME pack_driver_package)
  target_compile_options(qm_pack_driver_package PRIVATE ${QM_WARNINGS})
  target_link_libraries(qm_pack_driver_package PRIVATE ${QM_HOST_MINIZIP} ${QM_HOST_ZLIB})
  set(QM_PACKER $<TARGET_FILE:qm_pack_driver_package>)
  set(QM_PACKER_DEPENDS qm_pack_driver_package)
else()
  # CMake's compilers here make Windows programs; the packer must run on this machine.
  find_program(HOST_CXX NAMES c++ g++ NO_CMAKE_FIND_ROOT_PATH)
  if(NOT HOST_CXX)
    message(FATAL_ERROR "No host C++ compiler (c++ or g++) to build the package packer; "
                        "install g++ (scripts/setup.sh)")
  endif()
  find_file(QM_HOST_MINIZIP_HEADER minizip/zip.h PATHS /usr/include /usr/local/include
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT QM_HOST_MINIZIP_HEADER)
    message(FATAL_ERROR "minizip/zip.h of the build machine not found; the package packer needs "
                        "libminizip-dev and zlib1g-dev (scripts/setup.sh)")
  endif()
  set(_qm_packer_flags -std=c++17 -O2 ${QM_WARNINGS})
  set(QM_PACKER ${CMAKE_CURRENT_BINARY_DIR}/pack_driver_package)
  add_custom_command(
    OUTPUT ${QM_PACKER}
    COMMAND ${HOST_CXX} ${_qm_packer_flags} ${_qm_packer_source} -o ${QM_PACKER} -lminizip -lz
    DEPENDS ${_qm_packer_source}
    COMMENT "Building the host tool pack_driver_package"
    VERBATIM)
  add_custom_target(qm_pack_driver_package DEPENDS ${QM_PACKER})
  set(QM_PACKER_DEPENDS ${QM_PACKER})
endif()
