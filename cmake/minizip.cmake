# minizip's reader (and zlib under it) for the product: the distribution's packages natively,
# and for Windows minizip compiled from the distribution's zlib source package.

if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
  find_package(ZLIB REQUIRED)
  add_library(qm_minizip INTERFACE)
  target_link_libraries(qm_minizip INTERFACE PkgConfig::MINIZIP ZLIB::ZLIB)
  return()
endif()

set(QM_ZLIB_SOURCE_DIR ${CMAKE_BINARY_DIR}/third_party)
file(GLOB QM_MINIZIP_DIRS ${QM_ZLIB_SOURCE_DIR}/zlib-*/contrib/minizip)
if(NOT QM_MINIZIP_DIRS)
  file(MAKE_DIRECTORY ${QM_ZLIB_SOURCE_DIR})
  message(STATUS "Fetching the zlib source package for minizip")
  execute_process(COMMAND apt-get source --download-only zlib
    WORKING_DIRECTORY ${QM_ZLIB_SOURCE_DIR} RESULT_VARIABLE fetched OUTPUT_QUIET ERROR_QUIET)
  file(GLOB QM_ZLIB_TARBALL ${QM_ZLIB_SOURCE_DIR}/zlib_*.orig.tar.*)
  if(NOT fetched EQUAL 0 OR NOT QM_ZLIB_TARBALL)
    message(FATAL_ERROR "apt-get source zlib failed: run scripts/setup.sh (it adds the deb-src entry)")
  endif()
  execute_process(COMMAND tar xf ${QM_ZLIB_TARBALL} WORKING_DIRECTORY ${QM_ZLIB_SOURCE_DIR}
    RESULT_VARIABLE unpacked)
  file(GLOB QM_MINIZIP_DIRS ${QM_ZLIB_SOURCE_DIR}/zlib-*/contrib/minizip)
  if(NOT unpacked EQUAL 0 OR NOT QM_MINIZIP_DIRS)
    message(FATAL_ERROR "the zlib source package holds no contrib/minizip")
  endif()
endif()
list(GET QM_MINIZIP_DIRS 0 QM_MINIZIP_DIR)

add_library(qm_minizip STATIC ${QM_MINIZIP_DIR}/unzip.c ${QM_MINIZIP_DIR}/ioapi.c)
target_include_directories(qm_minizip SYSTEM PUBLIC ${QM_MINIZIP_DIR})
# Like the distribution's build: no decryption inside minizip (the reader does its own check).
target_compile_definitions(qm_minizip PUBLIC USE_FILE32API)
target_compile_options(qm_minizip PRIVATE -w)
target_link_libraries(qm_minizip PUBLIC z)
