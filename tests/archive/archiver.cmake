# The archiver component, its search, and the streams under it.
add_executable(archive_archiver_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/archiver_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/item_search_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/stream_test.cpp
)
target_link_libraries(archive_archiver_tests PRIVATE parcelon_engine test_support GTest::gtest
                      GTest::gtest_main)
gtest_discover_tests(archive_archiver_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
