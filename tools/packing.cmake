# The packers' shared code, one library for the build machine and one for
# Windows (varnel-pack.exe): the ZIP writer, the folder reader, the checks of
# an application archive (the installer's own entry reading and name rules)
# and of a skin, the installer image rewrite.
function(varnel_packing_library name minizip)
  set(src ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/..)
  add_library(${name} STATIC
    ${src}/tools/zip_writer.cpp
    ${src}/tools/folder_source.cpp
    ${src}/tools/archive_check.cpp
    ${src}/tools/installer_image.cpp
    ${src}/install/entry_rules.cpp
    ${src}/install/zip_entry.cpp)
  target_include_directories(${name} PUBLIC ${src})
  target_compile_options(${name} PRIVATE -Wall -Wextra)
  target_link_libraries(${name} PUBLIC ${minizip})
endfunction()
