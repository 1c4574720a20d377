# Audio service tests: wave-in, output, mixer and timer on the virtual card,
# the ALSA mixer mapping, and ALSA capture/playback through the file plugin.
list(APPEND PLATFORM_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/AudioOutputVirtualTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveInVirtualTest.cpp)
