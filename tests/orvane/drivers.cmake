# Suites of the orvane program: the record layer in-process, and the program
# end to end through build/bin/orvane (which loads the stand-in codec beside it).
if(NOT TARGET orvane OR NOT TARGET oo2core_7_linux64)
  return()
endif()
find_package(ZLIB REQUIRED)

add_library(orvane_samples STATIC ${CMAKE_CURRENT_LIST_DIR}/driver_samples.cpp)
target_include_directories(orvane_samples PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(orvane_samples PUBLIC orvane_core)

# Writes a sample archive with stand-in streams to standard output (used by run.sh).
add_executable(orvane-sample ${CMAKE_CURRENT_LIST_DIR}/driver_sample_tool.cpp)
target_link_libraries(orvane-sample PRIVATE orvane_samples)
add_dependencies(orvane-sample oo2core_7_linux64)

add_executable(orvane_driver_tests
  ${CMAKE_CURRENT_LIST_DIR}/driver_crc32_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver_container_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/e2e_container_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/e2e_failure_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/e2e_roundtrip_test.cpp)
target_link_libraries(orvane_driver_tests PRIVATE orvane_drivers orvane_samples test_support
                      ZLIB::ZLIB GTest::gtest_main)
target_compile_definitions(orvane_driver_tests PRIVATE ORVANE_BIN="$<TARGET_FILE:orvane>")
add_dependencies(orvane_driver_tests orvane oo2core_7_linux64)
gtest_discover_tests(orvane_driver_tests PROPERTIES LABELS orvane TIMEOUT 300 DISCOVERY_TIMEOUT 60)
