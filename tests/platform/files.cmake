# Opening files that must be regular ones.
list(APPEND PLATFORM_TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/RegularFileTest.cpp)
