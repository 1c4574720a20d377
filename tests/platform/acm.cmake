# Compression manager tests: drivers, metrics, streams and the decoders.
list(APPEND PLATFORM_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/AcmCodecsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AcmTest.cpp)
