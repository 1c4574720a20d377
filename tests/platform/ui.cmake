# Message window tests (plain implementation).
list(APPEND PLATFORM_TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/MessageWindowTest.cpp)
