# One place for the settings every target of the project shares.
function(pellucan_target target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wformat=2 -Wnon-virtual-dtor -Woverloaded-virtual -Werror)
  # Every narrow literal is GBK bytes at run time, so they would turn into garbled widget text if
  # Qt converted them on its own: every conversion is written out, through the codec or as an
  # explicit ASCII or UTF-16 string.
  target_compile_definitions(${target} PRIVATE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY)
  if(PELLUCAN_FUZZ)
    # clang copies the bytes of a literal as they stand, and the fuzz build hands it sources
    # already turned into GB18030 (cmake/PellucanFuzz.cmake).
    target_compile_options(${target} PRIVATE -Wno-invalid-source-encoding)
    target_compile_options(${target} PUBLIC -fsanitize=fuzzer-no-link,address,undefined
      -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  else()
    # Sources are UTF-8; every narrow string literal is GBK bytes at run time (GB18030 is GBK
    # for every character the system writes, and also covers the library headers).
    # Forms are unaffected: their texts are UTF-8 escapes.
    target_compile_options(${target} PRIVATE -finput-charset=UTF-8 -fexec-charset=GB18030)
  endif()
  if(PELLUCAN_SANITIZE)
    # Every report ends the program, so that a test that merely prints one fails.
    target_compile_options(${target} PUBLIC -fsanitize=address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  endif()
endfunction()

# pellucan_forms(target): the target's windows inherit the classes that uic generates from their
# .ui forms, so each control is a member under its name in the form and nothing is copied by
# hand. Their headers include the generated ui_*.h headers; this puts those on the include path
# of the target and of every target that includes the windows' headers.
function(pellucan_forms target)
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/include)
endfunction()
