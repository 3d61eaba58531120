# The fuzz build: libFuzzer needs clang's coverage instrumentation, and clang takes no
# -fexec-charset but UTF-8. So the folders are compiled from a copy whose C++ files are already
# GB18030: clang copies literal bytes unchanged, and every literal holds the bytes g++ gives it.

set(PELLUCAN_GBK_TREE ${CMAKE_BINARY_DIR}/gbk)

# Copies the folders (relative to the source tree) into PELLUCAN_GBK_TREE, transcoded; cmake
# runs again, and copies again, whenever one of their files changes.
function(pellucan_gbk_copy)
  foreach(folder ${ARGN})
    file(GLOB_RECURSE watched CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp
      ${CMAKE_SOURCE_DIR}/${folder}/*.h ${CMAKE_SOURCE_DIR}/${folder}/*.ui
      ${CMAKE_SOURCE_DIR}/${folder}/CMakeLists.txt)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${watched})
  endforeach()
  execute_process(
    COMMAND bash ${CMAKE_SOURCE_DIR}/cmake/transcode-gbk.sh ${CMAKE_SOURCE_DIR}
      ${PELLUCAN_GBK_TREE} ${ARGN}
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "Could not copy the sources into ${PELLUCAN_GBK_TREE} as GB18030")
  endif()
endfunction()
