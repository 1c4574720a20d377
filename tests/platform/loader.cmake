# Run-time library loading.
list(APPEND PLATFORM_TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/LibraryLoaderTest.cpp)
