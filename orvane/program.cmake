# The orvane program: entry, drivers, container records and level search, on
# top of orvane_core. The drivers also form a library so that tests can reach
# the record layer directly.
if(NOT TARGET orvane_core)
  return()
endif()

add_library(orvane_drivers STATIC
  ${CMAKE_CURRENT_LIST_DIR}/BufferedStreams.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Container.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Crc32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Encoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LevelSearch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProgramState.cpp)
target_link_libraries(orvane_drivers PUBLIC orvane_core)

add_executable(orvane ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(orvane PRIVATE orvane_drivers)
# The codec library is loaded at run time from the program's directory.
if(TARGET oo2core_7_linux64)
  add_dependencies(orvane oo2core_7_linux64)
endif()
