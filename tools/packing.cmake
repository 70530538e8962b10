# The packers' shared code, built for the build machine (tools/CMakeLists.txt)
# and for Windows (tools/windows.cmake) from the same sources (the compression
# libraries of cmake/compression.cmake must be defined first):
#   packing     the ZIP writer, the folder reader, the check of an application
#               archive (the installer's own entry reading and name rules),
#               the installer image rewrite;
#   skin_check  the check of a skin with the UI library's own package reader
#               and parsers (compiled again on their own, without its drawing).
function(varnel_packing_libraries minizip pugixml)
  set(src ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/..)
  add_library(packing STATIC
    ${src}/tools/zip_writer.cpp
    ${src}/tools/folder_source.cpp
    ${src}/tools/archive_check.cpp
    ${src}/tools/installer_image.cpp
    ${src}/install/entry_rules.cpp
    ${src}/install/zip_entry.cpp
    ${src}/install/entry_data.cpp)
  target_include_directories(packing PUBLIC ${src})
  target_compile_options(packing PRIVATE -Wall -Wextra)
  target_link_libraries(packing PUBLIC ${minizip} zstd_codec deflate_compressor)

  add_library(skin_check STATIC ${src}/tools/skin_check.cpp
    ${src}/xcgui/zip_memory.cpp ${src}/xcgui/resources.cpp ${src}/xcgui/layout_parser.cpp)
  target_include_directories(skin_check PUBLIC ${src}/tools ${src}/xcgui PRIVATE ${src} ${src}/startup)
  target_compile_options(skin_check PRIVATE -Wall -Wextra)
  target_link_libraries(skin_check PUBLIC ${minizip} ${pugixml})
endfunction()
