# Test libraries placed beside test programs: the recording UI library and a
# planted "system" library.
function(varnel_add_fake_library name output dir)
  add_library(${name} SHARED ${ARGN})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${VARNEL_WARNINGS})
  target_link_options(${name} PRIVATE -Wl,--enable-stdcall-fixup)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${output}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/${dir})
endfunction()
