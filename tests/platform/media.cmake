# Media player service tests (virtual speakers; the test files are made with
# libmp3lame), and its decoding libraries loaded on first use.
find_library(MEDIA_TEST_MP3LAME mp3lame REQUIRED)
list(APPEND PLATFORM_TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/MediaPlayerTest.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/MediaLibrariesTest.cpp)
list(APPEND PLATFORM_TEST_LIBS ${MEDIA_TEST_MP3LAME})
