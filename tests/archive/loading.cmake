# Opening archives: the end record search, the central directory reader, the
# rebuild from local headers, stub detection, and the central directory writer.
add_executable(archive_loading_tests
  ${CMAKE_CURRENT_LIST_DIR}/zip_builder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dir_manager_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rebuild_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/central_writer_test.cpp
)
target_link_libraries(archive_loading_tests PRIVATE parcelon_directory parcelon_update test_support
                      GTest::gtest GTest::gtest_main)
gtest_discover_tests(archive_loading_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
