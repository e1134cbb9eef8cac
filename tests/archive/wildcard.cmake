# The wildcard matcher and the mask and attribute tests of item searches.
add_executable(archive_wildcard_tests ${CMAKE_CURRENT_LIST_DIR}/wildcard_test.cpp)
target_link_libraries(archive_wildcard_tests PRIVATE parcelon_search test_support GTest::gtest
                      GTest::gtest_main)
gtest_discover_tests(archive_wildcard_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
