# The font metrics tool, a tool of the build machine in both builds, and the .ufm files it writes.
# Gives QM_UFM_DIR (the folder holding them) and QM_UFM_FILES (what to depend on).
set(_qm_ufm_source ${CMAKE_CURRENT_LIST_DIR}/make_ufm.cpp)
set(_qm_ufm_header ${CMAKE_CURRENT_LIST_DIR}/font_layout.h)
set(QM_UFM_DIR ${CMAKE_BINARY_DIR}/driver-package/fonts)
set(QM_UFM_FILES ${QM_UFM_DIR}/KV80FA.UFM ${QM_UFM_DIR}/KV80FB.UFM ${QM_UFM_DIR}/KV80GB.UFM)

if(NOT CMAKE_CROSSCOMPILING)
  add_executable(qm_make_ufm ${_qm_ufm_source})
  set_target_properties(qm_make_ufm PROPERTIES OUTPUT_NAME make_ufm)
  target_compile_options(qm_make_ufm PRIVATE ${QM_WARNINGS})
  set(_qm_make_ufm $<TARGET_FILE:qm_make_ufm>)
  set(_qm_make_ufm_depends qm_make_ufm)
else()
  # CMake's compilers here make Windows programs; the tool must run on this machine.
  find_program(HOST_CXX NAMES c++ g++ NO_CMAKE_FIND_ROOT_PATH)
  set(_qm_make_ufm ${CMAKE_CURRENT_BINARY_DIR}/make_ufm)
  add_custom_command(
    OUTPUT ${_qm_make_ufm}
    COMMAND ${HOST_CXX} -std=c++17 -O2 ${QM_WARNINGS} ${_qm_ufm_source} -o ${_qm_make_ufm}
    DEPENDS ${_qm_ufm_source} ${_qm_ufm_header}
    COMMENT "Building the host tool make_ufm"
    VERBATIM)
  set(_qm_make_ufm_depends ${_qm_make_ufm})
endif()

add_custom_command(
  OUTPUT ${QM_UFM_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QM_UFM_DIR}
  COMMAND ${_qm_make_ufm} ${QM_UFM_DIR}
  DEPENDS ${_qm_make_ufm_depends} ${_qm_ufm_header}
  COMMENT "Writing the resident fonts' metrics"
  VERBATIM)
