# The tools' part of the Windows build: the skin check for the packer's
# Windows program, from the same sources as the host tools' (the UI
# library's package reader and parsers, compiled again on their own so the
# packer does not take the library's drawing code with them).
add_library(skin_check STATIC ${CMAKE_CURRENT_LIST_DIR}/skin_check.cpp
  ${CMAKE_SOURCE_DIR}/xcgui/zip_memory.cpp ${CMAKE_SOURCE_DIR}/xcgui/resources.cpp
  ${CMAKE_SOURCE_DIR}/xcgui/layout_parser.cpp)
target_include_directories(skin_check PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/xcgui
  PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/startup)
target_compile_options(skin_check PRIVATE ${VARNEL_WARNINGS})
target_link_libraries(skin_check PUBLIC minizip pugixml)
