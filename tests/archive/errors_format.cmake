# Errors, ZIP records, stored names, code pages and CRC-32.
add_executable(archive_errors_format_tests
  ${CMAKE_CURRENT_LIST_DIR}/errors_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/format_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/code_pages_test.cpp
)
target_link_libraries(archive_errors_format_tests PRIVATE parcelon_errors parcelon_format
                      test_support GTest::gtest GTest::gtest_main)
gtest_discover_tests(archive_errors_format_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
