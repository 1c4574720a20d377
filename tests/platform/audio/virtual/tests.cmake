# Wave-in, output and mixer on the virtual card, and the card itself.
list(APPEND PLATFORM_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/AudioOutputVirtualTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ChunkedBytesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MixerVirtualTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VirtualCardTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveInVirtualTest.cpp)
