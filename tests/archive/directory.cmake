# The in-memory directory: the string hash, the hashed name list and the
# directory array.
add_executable(archive_directory_tests
  ${CMAKE_CURRENT_LIST_DIR}/dir_array_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hashed_list_test.cpp
)
target_link_libraries(archive_directory_tests PRIVATE parcelon_directory test_support GTest::gtest
                      GTest::gtest_main)
gtest_discover_tests(archive_directory_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
