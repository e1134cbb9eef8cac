# Archives written by real ZIP writers, listed through the parcelon program and
# compared with Python's zipfile.
find_package(Python3 COMPONENTS Interpreter)

if(TARGET parcelon AND Python3_Interpreter_FOUND)
  add_executable(archive_peers_tests ${CMAKE_CURRENT_SOURCE_DIR}/peers_test.cpp)
  target_link_libraries(archive_peers_tests PRIVATE test_support GTest::gtest GTest::gtest_main)
  target_compile_definitions(archive_peers_tests PRIVATE
    PARCELON_PROGRAM="$<TARGET_FILE:parcelon>"
    PARCELON_PYTHON="${Python3_EXECUTABLE}"
    PARCELON_PEER_SCRIPTS="${CMAKE_CURRENT_SOURCE_DIR}/peers"
    PARCELON_CORPUS_DEFAULT="${PROJECT_SOURCE_DIR}/../shared/corpus")
  add_dependencies(archive_peers_tests parcelon)
  gtest_discover_tests(archive_peers_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
else()
  message(STATUS "archive_peers_tests: needs the parcelon program and Python 3; not built")
endif()
