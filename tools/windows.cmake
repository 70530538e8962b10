# The tools' part of the Windows build: varnel-pack.exe, a console program
# from the same sources as the build machine's varnel-pack.
include(${CMAKE_CURRENT_LIST_DIR}/packing.cmake)
varnel_packing_libraries(minizip pugixml)
add_executable(varnel-pack ${CMAKE_CURRENT_LIST_DIR}/varnel_pack.cpp)
target_compile_options(varnel-pack PRIVATE ${VARNEL_WARNINGS})
target_compile_definitions(varnel-pack PRIVATE UNICODE _UNICODE)
target_link_options(varnel-pack PRIVATE -municode)
target_link_libraries(varnel-pack PRIVATE packing skin_check)
varnel_ship(varnel-pack)
